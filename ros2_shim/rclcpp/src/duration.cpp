#include "rclcpp/duration.hpp"

#include <cmath>
#include <limits>
#include <stdexcept>

#include "rclcpp/utilities.hpp"

namespace rclcpp
{
namespace
{
constexpr int64_t kNanosPerSecond = 1000000000LL;
}  // namespace

Duration::Duration(int32_t seconds, uint32_t nanoseconds)
: nanoseconds_(static_cast<int64_t>(seconds) * kNanosPerSecond + nanoseconds) {}

Duration::Duration(std::chrono::nanoseconds nanoseconds)
: nanoseconds_(nanoseconds.count()) {}

Duration::Duration(const builtin_interfaces::msg::Duration & duration_msg)
: Duration(duration_msg.sec, duration_msg.nanosec) {}

Duration::Duration(const rcl_duration_t & duration)
: nanoseconds_(duration.nanoseconds) {}

Duration & Duration::operator=(const builtin_interfaces::msg::Duration & duration_msg)
{
  *this = Duration(duration_msg);
  return *this;
}

Duration::operator builtin_interfaces::msg::Duration() const
{
  builtin_interfaces::msg::Duration msg;
  // Floor division: -1.5 s is {sec: -2, nanosec: 5e8}; saturate at the int32 range.
  int64_t seconds = nanoseconds_ / kNanosPerSecond;
  int64_t rest = nanoseconds_ % kNanosPerSecond;
  if (rest < 0) {
    rest += kNanosPerSecond;
    --seconds;
  }
  if (seconds > std::numeric_limits<int32_t>::max()) {
    msg.sec = std::numeric_limits<int32_t>::max();
    msg.nanosec = static_cast<uint32_t>(kNanosPerSecond - 1);
  } else if (seconds < std::numeric_limits<int32_t>::min()) {
    msg.sec = std::numeric_limits<int32_t>::min();
    msg.nanosec = 0;
  } else {
    msg.sec = static_cast<int32_t>(seconds);
    msg.nanosec = static_cast<uint32_t>(rest);
  }
  return msg;
}

bool Duration::operator==(const Duration & rhs) const {return nanoseconds_ == rhs.nanoseconds_;}
bool Duration::operator!=(const Duration & rhs) const {return nanoseconds_ != rhs.nanoseconds_;}
bool Duration::operator<(const Duration & rhs) const {return nanoseconds_ < rhs.nanoseconds_;}
bool Duration::operator<=(const Duration & rhs) const {return nanoseconds_ <= rhs.nanoseconds_;}
bool Duration::operator>=(const Duration & rhs) const {return nanoseconds_ >= rhs.nanoseconds_;}
bool Duration::operator>(const Duration & rhs) const {return nanoseconds_ > rhs.nanoseconds_;}

Duration Duration::operator+(const Duration & rhs) const
{
  if (add_will_overflow(nanoseconds_, rhs.nanoseconds_)) {
    throw std::overflow_error("addition leads to int64_t overflow");
  }
  if (add_will_underflow(nanoseconds_, rhs.nanoseconds_)) {
    throw std::underflow_error("addition leads to int64_t underflow");
  }
  return from_nanoseconds(nanoseconds_ + rhs.nanoseconds_);
}

Duration & Duration::operator+=(const Duration & rhs)
{
  *this = *this + rhs;
  return *this;
}

Duration Duration::operator-(const Duration & rhs) const
{
  if (sub_will_overflow(nanoseconds_, rhs.nanoseconds_)) {
    throw std::overflow_error("duration subtraction leads to int64_t overflow");
  }
  if (sub_will_underflow(nanoseconds_, rhs.nanoseconds_)) {
    throw std::underflow_error("duration subtraction leads to int64_t underflow");
  }
  return from_nanoseconds(nanoseconds_ - rhs.nanoseconds_);
}

Duration & Duration::operator-=(const Duration & rhs)
{
  *this = *this - rhs;
  return *this;
}

Duration Duration::operator*(double scale) const
{
  if (!std::isfinite(scale)) {
    throw std::runtime_error("abnormal scale in rclcpp::Duration");
  }
  const long double scaled = static_cast<long double>(nanoseconds_) * scale;
  if (scaled > static_cast<long double>(std::numeric_limits<int64_t>::max())) {
    throw std::overflow_error("duration scaling leads to int64_t overflow");
  }
  if (scaled < static_cast<long double>(std::numeric_limits<int64_t>::min())) {
    throw std::underflow_error("duration scaling leads to int64_t underflow");
  }
  return from_nanoseconds(static_cast<int64_t>(scaled));
}

Duration & Duration::operator*=(double scale)
{
  *this = *this * scale;
  return *this;
}

Duration Duration::max() {return Duration(std::numeric_limits<int32_t>::max(), 999999999);}

Duration Duration::from_seconds(double seconds)
{
  return from_nanoseconds(static_cast<int64_t>(std::llround(seconds * 1e9)));
}

Duration Duration::from_nanoseconds(rcl_duration_value_t nanoseconds)
{
  Duration duration;
  duration.nanoseconds_ = nanoseconds;
  return duration;
}

rcl_duration_value_t Duration::nanoseconds() const {return nanoseconds_;}

double Duration::seconds() const {return static_cast<double>(nanoseconds_) * 1e-9;}

}  // namespace rclcpp
