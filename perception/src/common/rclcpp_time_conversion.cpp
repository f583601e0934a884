#include <rclcpp/time.hpp>

#include "nanoseconds_to_seconds.hpp"
#include "pelorin/perception/time_conversions.hpp"

// Apart from the rest: the only source of the library that needs rclcpp.
double TimeToDouble(const rclcpp::Time& time) {
  return pelorin::perception::nanosecondsToSeconds(time.nanoseconds());
}
