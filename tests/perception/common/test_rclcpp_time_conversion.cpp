#include <gtest/gtest.h>

#include <cstdint>

#include <rclcpp/time.hpp>

#include "pelorin/perception/time_conversions.hpp"

namespace {

TEST(TimeToDouble, ClockTimeAndHeaderAgreeForTheSameInstant) {
  const std::pair<int32_t, uint32_t> stamps[] = {
      {0, 0}, {0, 1}, {12, 500000000}, {1765000000, 123456789}, {2147483647, 999999999}};
  for (const auto& [sec, nanosec] : stamps) {
    std_msgs::msg::Header header;
    header.stamp.sec = sec;
    header.stamp.nanosec = nanosec;
    const rclcpp::Time time(header.stamp, RCL_ROS_TIME);
    EXPECT_EQ(TimeToDouble(time), TimeToDouble(header)) << sec << "." << nanosec;
    EXPECT_DOUBLE_EQ(TimeToDouble(time), time.seconds());
  }
}

TEST(TimeToDouble, ClockTimeRoundTripsThroughStamps) {
  // Exact where the double holds the instant exactly (a quarter second) ...
  const rclcpp::Time quarter(int64_t{1765000000250000000}, RCL_ROS_TIME);
  EXPECT_EQ(DoubleToStamp(TimeToDouble(quarter)), static_cast<builtin_interfaces::msg::Time>(quarter));
  // ... and within the double's resolution (about 0.24 us today) elsewhere.
  const rclcpp::Time odd(int64_t{1765000000123456789}, RCL_ROS_TIME);
  const builtin_interfaces::msg::Time stamp = DoubleToStamp(TimeToDouble(odd));
  EXPECT_EQ(stamp.sec, 1765000000);
  EXPECT_NEAR(static_cast<double>(stamp.nanosec), 123456789.0, 120.0);
}

}  // namespace
