#include "pelorin/perception/time_conversions.hpp"

#include <cmath>
#include <cstdint>
#include <limits>

#include "nanoseconds_to_seconds.hpp"

namespace {

constexpr int64_t kNanosecondsPerSecond = 1000000000;

}  // namespace

double TimeToDouble(const std_msgs::msg::Header& header) {
  const int64_t nanoseconds =
      static_cast<int64_t>(header.stamp.sec) * kNanosecondsPerSecond + header.stamp.nanosec;
  return pelorin::perception::nanosecondsToSeconds(nanoseconds);
}

builtin_interfaces::msg::Time DoubleToStamp(double seconds) {
  builtin_interfaces::msg::Time stamp;
  if (std::isnan(seconds)) {
    return stamp;
  }
  using Limits = std::numeric_limits<int32_t>;
  if (seconds < Limits::min()) {
    stamp.sec = Limits::min();
    return stamp;
  }
  builtin_interfaces::msg::Time latest;
  latest.sec = Limits::max();
  latest.nanosec = kNanosecondsPerSecond - 1;
  if (seconds >= static_cast<double>(Limits::max()) + 1.0) {
    return latest;
  }
  // Whole seconds and the fraction apart: seconds * 1e9 would lose the
  // nanoseconds of present-day times to double rounding.
  double whole = std::floor(seconds);
  int64_t nanoseconds = std::llround((seconds - whole) * 1e9);
  if (nanoseconds >= kNanosecondsPerSecond) {
    whole += 1.0;
    nanoseconds -= kNanosecondsPerSecond;
  }
  if (whole > Limits::max()) {
    return latest;
  }
  stamp.sec = static_cast<int32_t>(whole);
  stamp.nanosec = static_cast<uint32_t>(nanoseconds);
  return stamp;
}
