#include "rclcpp/clock.hpp"

#include <chrono>
#include <stdexcept>
#include <utility>

#include "clock_impl.hpp"

namespace rclcpp
{
namespace
{

int64_t system_now_ns()
{
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
    std::chrono::system_clock::now().time_since_epoch()).count();
}

int64_t steady_now_ns()
{
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
    std::chrono::steady_clock::now().time_since_epoch()).count();
}

}  // namespace

JumpHandler::JumpHandler(
  pre_callback_t pre_callback, post_callback_t post_callback,
  const rcl_jump_threshold_t & threshold)
: pre_callback(std::move(pre_callback)), post_callback(std::move(post_callback)),
  notice_threshold(threshold) {}

Clock::Clock(rcl_clock_type_t clock_type)
: impl_(std::make_shared<Impl>(clock_type))
{
  if (clock_type == RCL_CLOCK_UNINITIALIZED) {
    throw std::invalid_argument("a clock needs a clock type");
  }
}

Clock::~Clock() = default;

Time Clock::now() const
{
  switch (impl_->clock_type) {
    case RCL_STEADY_TIME:
      return Time(steady_now_ns(), RCL_STEADY_TIME);
    case RCL_ROS_TIME: {
        std::lock_guard<std::mutex> lock(impl_->time_mutex);
        if (impl_->ros_time_active) {
          return Time(impl_->ros_time_ns, RCL_ROS_TIME);
        }
        return Time(system_now_ns(), RCL_ROS_TIME);
      }
    default:
      return Time(system_now_ns(), impl_->clock_type);
  }
}

bool Clock::sleep_until(Time until, Context::SharedPtr context)
{
  if (!context || !context->is_valid()) {
    throw std::runtime_error("context cannot be slept with because it's invalid");
  }
  if (until.get_clock_type() != impl_->clock_type) {
    throw std::runtime_error("until's clock type does not match this clock's type");
  }
  // Simulated time only moves when a "/clock" message arrives: wait for it,
  // and let shutdown wake the wait.
  auto impl = impl_;
  auto handle = context->add_on_shutdown_callback(
    [weak = std::weak_ptr<Impl>(impl)] {
      if (auto strong = weak.lock()) {
        std::lock_guard<std::mutex> lock(strong->time_mutex);
        strong->time_changed.notify_all();
      }
    });
  {
    // Checked under the lock the shutdown callback takes, so no wake-up is lost.
    std::unique_lock<std::mutex> lock(impl->time_mutex);
    for (;;) {
      if (!context->is_valid()) {
        break;
      }
      const bool simulated = impl->clock_type == RCL_ROS_TIME && impl->ros_time_active;
      const int64_t current = simulated ? impl->ros_time_ns :
        (impl->clock_type == RCL_STEADY_TIME ? steady_now_ns() : system_now_ns());
      if (current >= until.nanoseconds()) {
        break;
      }
      if (simulated) {
        impl->time_changed.wait(lock);
      } else {
        // A wall clock; a time source switching to simulated time also wakes this.
        impl->time_changed.wait_for(
          lock, std::chrono::nanoseconds(until.nanoseconds() - current));
      }
    }
  }
  context->remove_on_shutdown_callback(handle);
  return context->is_valid() && now() >= until;
}

bool Clock::sleep_for(Duration rel_time, Context::SharedPtr context)
{
  return sleep_until(now() + rel_time, std::move(context));
}

bool Clock::ros_time_is_active()
{
  std::lock_guard<std::mutex> lock(impl_->time_mutex);
  return impl_->clock_type == RCL_ROS_TIME && impl_->ros_time_active;
}

JumpHandler::SharedPtr Clock::create_jump_callback(
  JumpHandler::pre_callback_t pre_callback, JumpHandler::post_callback_t post_callback,
  const rcl_jump_threshold_t & threshold)
{
  if (threshold.min_forward.nanoseconds < 0) {
    throw std::invalid_argument("forward jump threshold must be positive or zero");
  }
  if (threshold.min_backward.nanoseconds > 0) {
    throw std::invalid_argument("backward jump threshold must be negative or zero");
  }
  auto * handler = new JumpHandler(std::move(pre_callback), std::move(post_callback), threshold);
  {
    std::lock_guard<std::mutex> jumps(impl_->jump_mutex);
    impl_->jump_handlers.push_back(handler);
  }
  // The handler may outlive the clock: it leaves the clock's list if the list is still there.
  return JumpHandler::SharedPtr(
    handler, [weak = std::weak_ptr<Impl>(impl_)](JumpHandler * gone) {
      if (auto impl = weak.lock()) {
        impl->remove_jump_handler(gone);
      }
      delete gone;
    });
}

rcl_clock_type_t Clock::get_clock_type() const noexcept {return impl_->clock_type;}

std::mutex & Clock::get_clock_mutex() noexcept {return impl_->clock_mutex;}

}  // namespace rclcpp
