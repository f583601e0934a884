// Shared state of a Clock, reachable by the time source that drives it.
#pragma once

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <vector>

#include "rclcpp/clock.hpp"

namespace rclcpp
{

struct Clock::Impl
{
  explicit Impl(rcl_clock_type_t type)
  : clock_type(type) {}

  // Runs the jump callbacks as rcl does: the pre-callbacks before the change,
  // the post-callbacks after it, each only past its handler's threshold.
  void set_ros_time_override(bool active, int64_t nanoseconds)
  {
    std::lock_guard<std::mutex> jumps(jump_mutex);
    rcl_time_jump_t jump{};
    {
      std::lock_guard<std::mutex> lock(time_mutex);
      if (active != ros_time_active) {
        jump.clock_change = active ? RCL_ROS_TIME_ACTIVATED : RCL_ROS_TIME_DEACTIVATED;
      } else {
        jump.clock_change = active ? RCL_ROS_TIME_NO_CHANGE : RCL_SYSTEM_TIME_NO_CHANGE;
        jump.delta.nanoseconds = active ? nanoseconds - ros_time_ns : 0;
      }
    }
    for (JumpHandler * handler : jump_handlers) {
      if (handler->pre_callback && noticed(*handler, jump)) {
        handler->pre_callback();
      }
    }
    {
      std::lock_guard<std::mutex> lock(time_mutex);
      ros_time_active = active;
      ros_time_ns = nanoseconds;
    }
    time_changed.notify_all();
    for (JumpHandler * handler : jump_handlers) {
      if (handler->post_callback && noticed(*handler, jump)) {
        handler->post_callback(jump);
      }
    }
  }

  static bool noticed(const JumpHandler & handler, const rcl_time_jump_t & jump)
  {
    const rcl_jump_threshold_t & threshold = handler.notice_threshold;
    if (jump.clock_change == RCL_ROS_TIME_ACTIVATED ||
      jump.clock_change == RCL_ROS_TIME_DEACTIVATED)
    {
      return threshold.on_clock_change;
    }
    const int64_t delta = jump.delta.nanoseconds;
    return (threshold.min_forward.nanoseconds > 0 && delta >= threshold.min_forward.nanoseconds) ||
           (threshold.min_backward.nanoseconds < 0 && delta <= threshold.min_backward.nanoseconds);
  }

  void remove_jump_handler(JumpHandler * handler)
  {
    std::lock_guard<std::mutex> jumps(jump_mutex);
    jump_handlers.erase(
      std::remove(jump_handlers.begin(), jump_handlers.end(), handler), jump_handlers.end());
  }

  const rcl_clock_type_t clock_type;
  std::mutex clock_mutex;  // handed out by get_clock_mutex()

  std::mutex time_mutex;
  std::condition_variable time_changed;
  bool ros_time_active = false;
  int64_t ros_time_ns = 0;

  // Held while callbacks run and while a handler goes, so that none runs
  // after its handler's release.
  std::mutex jump_mutex;
  std::vector<JumpHandler *> jump_handlers;
};

}  // namespace rclcpp
