#include "rclcpp/timer.hpp"

#include <stdexcept>

#include "rclcpp/callback_group.hpp"

namespace rclcpp
{

TimerBase::TimerBase(
  Clock::SharedPtr clock, std::chrono::nanoseconds period, rclcpp::Context::SharedPtr context)
: clock_(std::move(clock)), context_(std::move(context)), period_(period)
{
  if (period < std::chrono::nanoseconds::zero()) {
    throw std::invalid_argument("timer period cannot be negative");
  }
  next_call_ = std::chrono::steady_clock::now() + period_;
}

TimerBase::~TimerBase() = default;

void TimerBase::cancel()
{
  {
    std::lock_guard<std::mutex> lock(mutex_);
    canceled_ = true;
  }
  notify_owner();
}

bool TimerBase::is_canceled()
{
  std::lock_guard<std::mutex> lock(mutex_);
  return canceled_;
}

void TimerBase::reset()
{
  {
    std::lock_guard<std::mutex> lock(mutex_);
    canceled_ = false;
    next_call_ = std::chrono::steady_clock::now() + period_;
  }
  notify_owner();
}

Clock::SharedPtr TimerBase::get_clock() {return clock_;}

std::chrono::nanoseconds TimerBase::time_until_trigger()
{
  std::lock_guard<std::mutex> lock(mutex_);
  if (canceled_) {
    return std::chrono::nanoseconds::max();
  }
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
    next_call_ - std::chrono::steady_clock::now());
}

bool TimerBase::is_ready()
{
  std::lock_guard<std::mutex> lock(mutex_);
  return !canceled_ && std::chrono::steady_clock::now() >= next_call_;
}

bool TimerBase::call()
{
  std::lock_guard<std::mutex> lock(mutex_);
  const auto now = std::chrono::steady_clock::now();
  if (canceled_ || now < next_call_) {
    return false;
  }
  next_call_ += period_;
  if (next_call_ <= now) {
    if (period_.count() == 0) {
      next_call_ = now;
    } else {
      // Keep the phase but drop the periods that were missed entirely.
      const auto behind = now - next_call_;
      next_call_ += (behind / period_ + 1) * period_;
    }
  }
  return true;
}

bool TimerBase::exchange_in_use_by_wait_set_state(bool in_use_state)
{
  return in_use_by_wait_set_.exchange(in_use_state);
}

std::chrono::steady_clock::time_point TimerBase::next_call_time() const
{
  std::lock_guard<std::mutex> lock(mutex_);
  return canceled_ ? std::chrono::steady_clock::time_point::max() : next_call_;
}

void TimerBase::set_callback_group(const std::shared_ptr<CallbackGroup> & group)
{
  std::lock_guard<std::mutex> lock(mutex_);
  callback_group_ = group;
}

void TimerBase::notify_owner() const
{
  std::shared_ptr<CallbackGroup> group;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    group = callback_group_.lock();
  }
  if (group) {
    group->notify();
  }
}

}  // namespace rclcpp
