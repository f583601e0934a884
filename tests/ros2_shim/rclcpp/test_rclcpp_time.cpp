#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <stdexcept>
#include <vector>

#include "builtin_interfaces/msg/duration.hpp"
#include "builtin_interfaces/msg/time.hpp"
#include "rclcpp/clock.hpp"
#include "rclcpp/duration.hpp"
#include "rclcpp/time.hpp"

namespace
{

TEST(TimeTest, ConvertsToAndFromStamps)
{
  struct Case
  {
    int32_t sec;
    uint32_t nanosec;
    int64_t nanoseconds;
  };
  for (const auto & c : std::vector<Case>{
      {0, 0, 0}, {1, 500000000, 1500000000}, {1700000000, 999999999, 1700000000999999999}})
  {
    builtin_interfaces::msg::Time stamp;
    stamp.sec = c.sec;
    stamp.nanosec = c.nanosec;
    const rclcpp::Time time(stamp);
    EXPECT_EQ(time.nanoseconds(), c.nanoseconds);
    EXPECT_EQ(time.get_clock_type(), RCL_ROS_TIME);
    EXPECT_EQ(static_cast<builtin_interfaces::msg::Time>(time), stamp);
    EXPECT_EQ(rclcpp::Time(c.sec, c.nanosec).get_clock_type(), RCL_SYSTEM_TIME);
  }
  EXPECT_DOUBLE_EQ(rclcpp::Time(2, 250000000).seconds(), 2.25);
  EXPECT_THROW(rclcpp::Time(-1, 0), std::runtime_error);
}

TEST(TimeTest, MixingClockTypesThrows)
{
  const rclcpp::Time ros(5, 0, RCL_ROS_TIME);
  const rclcpp::Time system(5, 0, RCL_SYSTEM_TIME);
  EXPECT_THROW((void)(ros - system), std::runtime_error);
  EXPECT_THROW((void)(ros < system), std::runtime_error);
  EXPECT_THROW((void)(ros == system), std::runtime_error);
  EXPECT_EQ((ros - rclcpp::Time(3, 0, RCL_ROS_TIME)).seconds(), 2.0);
  EXPECT_EQ((ros + rclcpp::Duration(1, 0)).get_clock_type(), RCL_ROS_TIME);
}

TEST(TimeTest, ArithmeticOverflowThrowsInsteadOfWrapping)
{
  const rclcpp::Time latest(std::numeric_limits<int64_t>::max() - 1, RCL_ROS_TIME);
  EXPECT_THROW(latest + rclcpp::Duration::from_nanoseconds(2), std::overflow_error);
  const rclcpp::Time earliest(std::numeric_limits<int64_t>::min() + 1, RCL_ROS_TIME);
  EXPECT_THROW(earliest - rclcpp::Duration::from_nanoseconds(2), std::underflow_error);
  EXPECT_THROW(latest - earliest, std::overflow_error);
  EXPECT_THROW(rclcpp::Duration::max() * 1e10, std::overflow_error);
}

TEST(DurationTest, MessagesUseFloorSecondsAndPositiveNanoseconds)
{
  struct Case
  {
    int64_t nanoseconds;
    int32_t sec;
    uint32_t nanosec;
  };
  for (const auto & c : std::vector<Case>{
      {1500000000, 1, 500000000}, {-1500000000, -2, 500000000}, {-1, -1, 999999999}})
  {
    const builtin_interfaces::msg::Duration msg = rclcpp::Duration::from_nanoseconds(c.nanoseconds);
    EXPECT_EQ(msg.sec, c.sec) << c.nanoseconds;
    EXPECT_EQ(msg.nanosec, c.nanosec) << c.nanoseconds;
    EXPECT_EQ(rclcpp::Duration(msg).nanoseconds(), c.nanoseconds);
  }
  EXPECT_EQ(rclcpp::Duration(std::chrono::milliseconds(1500)).seconds(), 1.5);
  EXPECT_EQ(rclcpp::Duration::from_seconds(0.5).to_chrono<std::chrono::milliseconds>().count(), 500);
}

TEST(ClockTest, EachKindReportsItsOwnTime)
{
  for (const auto type : {RCL_ROS_TIME, RCL_SYSTEM_TIME, RCL_STEADY_TIME}) {
    rclcpp::Clock clock(type);
    const auto first = clock.now();
    EXPECT_EQ(first.get_clock_type(), type);
    EXPECT_LE(first, clock.now());
  }
  // Without a time source a ROS clock reads the system time.
  EXPECT_GT(rclcpp::Clock(RCL_ROS_TIME).now().seconds(), 1e9);
}

}  // namespace
