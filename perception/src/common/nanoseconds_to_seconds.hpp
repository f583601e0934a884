#pragma once

#include <cstdint>

namespace pelorin::perception {

// The one conversion behind both TimeToDouble forms, so that they agree to
// the last bit for the same instant.  Whole seconds and the fraction are
// converted apart: converting the nanosecond count of a present-day time to
// a double first would round it to 256 ns before the division.
inline double nanosecondsToSeconds(int64_t nanoseconds) {
  constexpr int64_t kPerSecond = 1000000000;
  int64_t whole = nanoseconds / kPerSecond;
  int64_t fraction = nanoseconds % kPerSecond;
  if (fraction < 0) {
    whole -= 1;
    fraction += kPerSecond;
  }
  return static_cast<double>(whole) + static_cast<double>(fraction) / 1e9;
}

}  // namespace pelorin::perception
