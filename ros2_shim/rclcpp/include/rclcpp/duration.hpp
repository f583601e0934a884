#pragma once

#include <chrono>
#include <cstdint>

#include "builtin_interfaces/msg/duration.hpp"
#include "rcl/time.h"

namespace rclcpp
{

/// A signed span of time in nanoseconds.
class Duration
{
public:
  Duration(int32_t seconds, uint32_t nanoseconds);
  explicit Duration(std::chrono::nanoseconds nanoseconds);

  template<class Rep, class Period>
  Duration(const std::chrono::duration<Rep, Period> & duration)  // NOLINT: implicit as upstream
  : Duration(std::chrono::duration_cast<std::chrono::nanoseconds>(duration)) {}

  Duration(const builtin_interfaces::msg::Duration & duration_msg);  // NOLINT
  explicit Duration(const rcl_duration_t & duration);

  Duration(const Duration & rhs) = default;
  Duration & operator=(const Duration & rhs) = default;
  Duration & operator=(const builtin_interfaces::msg::Duration & duration_msg);

  operator builtin_interfaces::msg::Duration() const;

  bool operator==(const Duration & rhs) const;
  bool operator!=(const Duration & rhs) const;
  bool operator<(const Duration & rhs) const;
  bool operator<=(const Duration & rhs) const;
  bool operator>=(const Duration & rhs) const;
  bool operator>(const Duration & rhs) const;

  /// Arithmetic throws std::overflow_error / std::underflow_error on int64 overflow.
  Duration operator+(const Duration & rhs) const;
  Duration & operator+=(const Duration & rhs);
  Duration operator-(const Duration & rhs) const;
  Duration & operator-=(const Duration & rhs);
  Duration operator*(double scale) const;
  Duration & operator*=(double scale);

  static Duration max();
  static Duration from_seconds(double seconds);
  static Duration from_nanoseconds(rcl_duration_value_t nanoseconds);

  rcl_duration_value_t nanoseconds() const;
  double seconds() const;

  template<class DurationT>
  DurationT to_chrono() const
  {
    return std::chrono::duration_cast<DurationT>(std::chrono::nanoseconds(nanoseconds_));
  }

private:
  Duration() = default;
  rcl_duration_value_t nanoseconds_ = 0;
};

}  // namespace rclcpp
