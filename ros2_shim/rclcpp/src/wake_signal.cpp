#include "rclcpp/detail/wake_signal.hpp"

namespace rclcpp
{
namespace detail
{

void WakeSignal::notify()
{
  {
    std::lock_guard<std::mutex> lock(mutex_);
    ++generation_;
  }
  cv_.notify_all();
}

std::uint64_t WakeSignal::generation() const
{
  std::lock_guard<std::mutex> lock(mutex_);
  return generation_;
}

void WakeSignal::wait_until(std::uint64_t seen, Clock::time_point deadline) const
{
  std::unique_lock<std::mutex> lock(mutex_);
  auto changed = [&] {return generation_ != seen;};
  if (deadline == Clock::time_point::max()) {
    cv_.wait(lock, changed);
  } else {
    cv_.wait_until(lock, deadline, changed);
  }
}

void WakeLink::set(const std::shared_ptr<WakeSignal> & signal)
{
  std::lock_guard<std::mutex> lock(mutex_);
  target_ = signal;
}

void WakeLink::clear_if(const std::shared_ptr<WakeSignal> & signal)
{
  std::lock_guard<std::mutex> lock(mutex_);
  if (target_.lock() == signal) {
    target_.reset();
  }
}

bool WakeLink::is(const std::shared_ptr<WakeSignal> & signal) const
{
  std::lock_guard<std::mutex> lock(mutex_);
  return target_.lock() == signal;
}

bool WakeLink::notify() const
{
  std::shared_ptr<WakeSignal> target;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    target = target_.lock();
  }
  if (!target) {
    return false;
  }
  target->notify();
  return true;
}

}  // namespace detail
}  // namespace rclcpp
