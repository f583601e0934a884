#pragma once

#include <builtin_interfaces/msg/time.hpp>
#include <std_msgs/msg/header.hpp>

namespace rclcpp {
class Time;
}

// Time stamps as seconds in a double.  Both TimeToDouble forms count from the
// same epoch, so a header stamp and a clock reading of the same instant give
// the same number.
double TimeToDouble(const std_msgs::msg::Header& header);
// Link pelorin::perception_rclcpp_time for this one.
double TimeToDouble(const rclcpp::Time& time);

// Seconds to a message stamp, rounded to the nearest nanosecond; the
// nanoseconds always lie in 0 .. 999999999, also for negative times (-0.25 s
// is sec -1, nanosec 750000000).  Times beyond the stamp's range saturate;
// NaN gives the zero stamp.
builtin_interfaces::msg::Time DoubleToStamp(double seconds);
