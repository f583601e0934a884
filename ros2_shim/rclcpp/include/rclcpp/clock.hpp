#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>

#include "rcl/time.h"
#include "rclcpp/context.hpp"
#include "rclcpp/contexts/default_context.hpp"
#include "rclcpp/duration.hpp"
#include "rclcpp/macros.hpp"
#include "rclcpp/time.hpp"

namespace rclcpp
{

class TimeSource;

/// Callbacks a clock runs before and after each jump of its time that passes
/// `notice_threshold`.
class JumpHandler
{
public:
  RCLCPP_SMART_PTR_DEFINITIONS(JumpHandler)

  using pre_callback_t = std::function<void ()>;
  using post_callback_t = std::function<void (const rcl_time_jump_t &)>;

  JumpHandler(
    pre_callback_t pre_callback, post_callback_t post_callback,
    const rcl_jump_threshold_t & threshold);

  pre_callback_t pre_callback;
  post_callback_t post_callback;
  rcl_jump_threshold_t notice_threshold;
};

/// A clock of one kind.  A ROS-time clock reads the system time until a time
/// source switches it to a simulated time (the "/clock" topic).
class Clock
{
public:
  RCLCPP_SMART_PTR_DEFINITIONS(Clock)

  explicit Clock(rcl_clock_type_t clock_type = RCL_SYSTEM_TIME);
  ~Clock();

  Time now() const;

  /// Sleeps until the clock reaches `until`; false when the context shut down
  /// first.  Throws std::runtime_error for a time of another clock kind.
  bool sleep_until(
    Time until,
    Context::SharedPtr context = contexts::get_global_default_context());
  bool sleep_for(
    Duration rel_time,
    Context::SharedPtr context = contexts::get_global_default_context());

  /// True while a ROS-time clock follows a simulated time.
  bool ros_time_is_active();

  /// The callbacks run around every jump that passes `threshold` until the
  /// handler is released; once the release returns, none runs any more.
  /// Either callback may be empty.  Throws std::invalid_argument for a
  /// negative min_forward or a positive min_backward.
  JumpHandler::SharedPtr create_jump_callback(
    JumpHandler::pre_callback_t pre_callback, JumpHandler::post_callback_t post_callback,
    const rcl_jump_threshold_t & threshold);
  rcl_clock_type_t get_clock_type() const noexcept;
  std::mutex & get_clock_mutex() noexcept;

private:
  friend class TimeSource;
  struct Impl;
  std::shared_ptr<Impl> impl_;
};

}  // namespace rclcpp
