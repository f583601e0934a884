#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>

#include "pelorin/perception/time_conversions.hpp"

namespace {

std_msgs::msg::Header headerAt(int32_t sec, uint32_t nanosec) {
  std_msgs::msg::Header header;
  header.stamp.sec = sec;
  header.stamp.nanosec = nanosec;
  return header;
}

TEST(TimeToDouble, HeaderInSeconds) {
  EXPECT_EQ(TimeToDouble(headerAt(0, 0)), 0.0);
  EXPECT_DOUBLE_EQ(TimeToDouble(headerAt(12, 500000000)), 12.5);
  EXPECT_DOUBLE_EQ(TimeToDouble(headerAt(-2, 750000000)), -1.25);
  EXPECT_NEAR(TimeToDouble(headerAt(1765000000, 123456789)), 1765000000.123456789, 1e-6);
  // Present-day times lose nothing a double can hold.
  EXPECT_EQ(TimeToDouble(headerAt(1765000000, 250000000)), 1765000000.25);
  // A malformed stamp with more than a second of nanoseconds still adds up.
  EXPECT_DOUBLE_EQ(TimeToDouble(headerAt(1, 1500000000)), 2.5);
}

TEST(DoubleToStamp, SplitsIntoSecondsAndNanoseconds) {
  struct Case {
    double seconds;
    int32_t sec;
    uint32_t nanosec;
  };
  const Case cases[] = {
      {0.0, 0, 0},
      {12.5, 12, 500000000},
      {-0.25, -1, 750000000},
      {-1.0, -1, 0},
      {1e-9, 0, 1},
      {0.9999999999, 1, 0},  // rounds up into the next second
      {-1e-10, 0, 0},
      {1765000000.25, 1765000000, 250000000},
      {std::numeric_limits<double>::quiet_NaN(), 0, 0},
      {1e300, std::numeric_limits<int32_t>::max(), 999999999},
      {std::numeric_limits<double>::infinity(), std::numeric_limits<int32_t>::max(), 999999999},
      {-1e300, std::numeric_limits<int32_t>::min(), 0},
      {-std::numeric_limits<double>::infinity(), std::numeric_limits<int32_t>::min(), 0},
  };
  for (const Case& c : cases) {
    const builtin_interfaces::msg::Time stamp = DoubleToStamp(c.seconds);
    EXPECT_EQ(stamp.sec, c.sec) << c.seconds;
    EXPECT_EQ(stamp.nanosec, c.nanosec) << c.seconds;
  }
}

TEST(DoubleToStamp, RoundTripsThroughHeaders) {
  for (const double seconds : {0.0, 0.001, 3.141592653, -7.000000001, -0.5, 1765000000.5, 1765000000.123456}) {
    std_msgs::msg::Header header;
    header.stamp = DoubleToStamp(seconds);
    EXPECT_LT(header.stamp.nanosec, 1000000000u);
    // Within a nanosecond, or the double's own resolution for large times.
    EXPECT_NEAR(TimeToDouble(header), seconds, std::max(1e-9, std::abs(seconds) * 1e-15)) << seconds;
  }
  // Exact the other way for times a double holds to the nanosecond.
  for (const auto& [sec, nanosec] : {std::pair<int32_t, uint32_t>{0, 1}, {5, 999999999}, {-3, 1}, {1000, 0}}) {
    const builtin_interfaces::msg::Time stamp = DoubleToStamp(TimeToDouble(headerAt(sec, nanosec)));
    EXPECT_EQ(stamp.sec, sec);
    EXPECT_EQ(stamp.nanosec, nanosec);
  }
}

}  // namespace
