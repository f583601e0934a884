// Shared state of a Clock, reachable by the time source that drives it.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>

#include "rclcpp/clock.hpp"

namespace rclcpp
{

struct Clock::Impl
{
  explicit Impl(rcl_clock_type_t type)
  : clock_type(type) {}

  void set_ros_time_override(bool active, int64_t nanoseconds)
  {
    {
      std::lock_guard<std::mutex> lock(time_mutex);
      ros_time_active = active;
      ros_time_ns = nanoseconds;
    }
    time_changed.notify_all();
  }

  const rcl_clock_type_t clock_type;
  std::mutex clock_mutex;  // handed out by get_clock_mutex()

  std::mutex time_mutex;
  std::condition_variable time_changed;
  bool ros_time_active = false;
  int64_t ros_time_ns = 0;
};

}  // namespace rclcpp
