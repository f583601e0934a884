#ifndef TF2__DETAIL__STAMP_CONVERSION_H_
#define TF2__DETAIL__STAMP_CONVERSION_H_

#include <chrono>
#include <cstdint>

#include "builtin_interfaces/msg/time.hpp"
#include "tf2/time.h"

namespace tf2
{
namespace detail
{

inline TimePoint fromStamp(const builtin_interfaces::msg::Time & stamp)
{
  return TimePoint(std::chrono::seconds(stamp.sec) + std::chrono::nanoseconds(stamp.nanosec));
}

// Floor division, so that times before the epoch keep nanosec in [0, 1e9).
inline builtin_interfaces::msg::Time toStamp(TimePoint time)
{
  const std::int64_t ns = time.time_since_epoch().count();
  std::int64_t sec = ns / 1000000000LL;
  std::int64_t nanosec = ns % 1000000000LL;
  if (nanosec < 0) {
    nanosec += 1000000000LL;
    --sec;
  }
  builtin_interfaces::msg::Time stamp;
  stamp.sec = static_cast<std::int32_t>(sec);
  stamp.nanosec = static_cast<std::uint32_t>(nanosec);
  return stamp;
}

}  // namespace detail
}  // namespace tf2

#endif  // TF2__DETAIL__STAMP_CONVERSION_H_
