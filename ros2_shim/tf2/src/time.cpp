#include "tf2/time.h"

#include <cmath>
#include <cstdint>
#include <cstdio>

namespace tf2
{

TimePoint get_now()
{
  return std::chrono::time_point_cast<Duration>(std::chrono::system_clock::now());
}

Duration durationFromSec(double t_sec)
{
  // int64 nanoseconds cover about +-292 years; anything beyond (or NaN) saturates.
  constexpr double limit = 9.2e9;
  if (std::isnan(t_sec)) {
    return Duration::zero();
  }
  if (t_sec >= limit) {
    return Duration::max();
  }
  if (t_sec <= -limit) {
    return Duration::min();
  }
  // Whole seconds and fraction apart, so large stamps keep their nanoseconds.
  const double whole = std::floor(t_sec);
  return std::chrono::seconds(static_cast<std::int64_t>(whole)) +
         Duration(std::llround((t_sec - whole) * 1e9));
}

TimePoint timeFromSec(double t_sec)
{
  return TimePoint(durationFromSec(t_sec));
}

double durationToSec(const tf2::Duration & input)
{
  return std::chrono::duration<double>(input).count();
}

double timeToSec(const TimePoint & timepoint)
{
  return durationToSec(timepoint.time_since_epoch());
}

std::string displayTimePoint(const TimePoint & stamp)
{
  char buffer[64];
  std::snprintf(buffer, sizeof(buffer), "%.6f", timeToSec(stamp));
  return buffer;
}

}  // namespace tf2
