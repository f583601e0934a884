#include "rclcpp/rate.hpp"

#include <stdexcept>
#include <thread>

namespace rclcpp
{

WallRate::WallRate(double rate)
: WallRate(std::chrono::nanoseconds(
      rate > 0.0 ? static_cast<int64_t>(1e9 / rate) :
      throw std::invalid_argument("rate must be greater than 0"))) {}

WallRate::WallRate(std::chrono::nanoseconds period)
: period_(period), last_interval_(std::chrono::steady_clock::now())
{
  if (period_ <= std::chrono::nanoseconds::zero()) {
    throw std::invalid_argument("period must be greater than 0");
  }
}

bool WallRate::sleep()
{
  const auto now = std::chrono::steady_clock::now();
  const auto next = last_interval_ + period_;
  if (now >= next) {
    last_interval_ = now;
    return false;
  }
  std::this_thread::sleep_until(next);
  last_interval_ = next;
  return true;
}

void WallRate::reset() {last_interval_ = std::chrono::steady_clock::now();}

std::chrono::nanoseconds WallRate::period() const {return period_;}

}  // namespace rclcpp
