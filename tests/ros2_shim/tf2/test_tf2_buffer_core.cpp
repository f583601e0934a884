#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "tf2/buffer_core.h"
#include "tf2/exceptions.h"
#include "transform_fixtures.h"

namespace
{

using tf2_test::link;
using tf2_test::secondsOf;
using tf2_test::yawOf;

constexpr double kPi = 3.14159265358979323846;
constexpr double kTol = 1e-9;

// map -(static)-> odom_fusion -(moving, 10 s .. 11 s)-> base_footprint -(static)-> camera
class Tf2RobotChain : public ::testing::Test
{
protected:
  void SetUp() override
  {
    ASSERT_TRUE(buffer_.setTransform(link("map", "odom_fusion", 0, 10, 0, 0, kPi / 2), "test", true));
    ASSERT_TRUE(buffer_.setTransform(link("odom_fusion", "base_footprint", 10, 1, 0, 0, 0), "test"));
    ASSERT_TRUE(buffer_.setTransform(link("odom_fusion", "base_footprint", 11, 2, 0, 0, kPi / 2), "test"));
    ASSERT_TRUE(buffer_.setTransform(link("base_footprint", "camera", 0, 0.2, 0, 0.5), "test", true));
  }

  tf2::BufferCore buffer_;
};

TEST_F(Tf2RobotChain, InterpolatesHalfwayBetweenSamples)
{
  const auto t = buffer_.lookupTransform("odom_fusion", "base_footprint", tf2::timeFromSec(10.5));
  EXPECT_NEAR(t.transform.translation.x, 1.5, kTol);
  EXPECT_NEAR(t.transform.translation.y, 0.0, kTol);
  EXPECT_NEAR(yawOf(t), kPi / 4, kTol);
  EXPECT_NEAR(secondsOf(t), 10.5, kTol);
  EXPECT_EQ(t.header.frame_id, "odom_fusion");
  EXPECT_EQ(t.child_frame_id, "base_footprint");
}

TEST_F(Tf2RobotChain, ComposesStaticAndMovingLinksThroughTheTree)
{
  // Base at (1.5, 0) turned 45 deg in odom; camera 0.2 ahead of it and 0.5 up;
  // odom itself sits at (10, 0) in map, turned 90 deg.
  const double c = 0.2 * std::cos(kPi / 4);
  const auto t = buffer_.lookupTransform("map", "camera", tf2::timeFromSec(10.5));
  EXPECT_NEAR(t.transform.translation.x, 10.0 - c, kTol);
  EXPECT_NEAR(t.transform.translation.y, 1.5 + c, kTol);
  EXPECT_NEAR(t.transform.translation.z, 0.5, kTol);
  EXPECT_NEAR(yawOf(t), 3 * kPi / 4, kTol);

  // The reverse look-up is the inverse: the map origin seen from the camera.
  const auto back = buffer_.lookupTransform("camera", "map", tf2::timeFromSec(10.5));
  EXPECT_NEAR(yawOf(back), -3 * kPi / 4, kTol);
  const double bx = back.transform.translation.x;
  const double by = back.transform.translation.y;
  // Rotating the camera origin (in map) by the inverse rotation and adding must cancel.
  const double yaw = -3 * kPi / 4;
  const double mx = 10.0 - c;
  const double my = 1.5 + c;
  EXPECT_NEAR(std::cos(yaw) * mx - std::sin(yaw) * my + bx, 0.0, kTol);
  EXPECT_NEAR(std::sin(yaw) * mx + std::cos(yaw) * my + by, 0.0, kTol);
}

TEST_F(Tf2RobotChain, SiblingsMeetAtTheCommonParent)
{
  ASSERT_TRUE(buffer_.setTransform(link("base_footprint", "lidar", 0, -0.3, 0, 0.4), "test", true));
  const auto t = buffer_.lookupTransform("camera", "lidar", tf2::timeFromSec(10.2));
  EXPECT_NEAR(t.transform.translation.x, -0.5, kTol);
  EXPECT_NEAR(t.transform.translation.z, -0.1, kTol);
}

TEST_F(Tf2RobotChain, TimeZeroUsesTheLatestCommonTime)
{
  const auto t = buffer_.lookupTransform("map", "base_footprint", tf2::TimePointZero);
  EXPECT_NEAR(secondsOf(t), 11.0, kTol);
  EXPECT_NEAR(t.transform.translation.x, 10.0, kTol);
  EXPECT_NEAR(t.transform.translation.y, 2.0, kTol);

  const auto all_static = buffer_.lookupTransform("base_footprint", "camera", tf2::TimePointZero);
  EXPECT_EQ(secondsOf(all_static), 0.0);
  EXPECT_NEAR(all_static.transform.translation.z, 0.5, kTol);
}

TEST(Tf2BufferCoreTimeZero, TakesTheOldestOfTheNewestSamplesOfTheChain)
{
  tf2::BufferCore buffer;
  for (double t : {1.0, 2.0, 3.0}) {
    ASSERT_TRUE(buffer.setTransform(link("a", "b", t, t, 0, 0), "test"));
  }
  for (double t : {1.0, 2.0}) {
    ASSERT_TRUE(buffer.setTransform(link("b", "c", t, 0, t, 0), "test"));
  }
  const auto t = buffer.lookupTransform("a", "c", tf2::TimePointZero);
  EXPECT_NEAR(secondsOf(t), 2.0, kTol);
  EXPECT_NEAR(t.transform.translation.x, 2.0, kTol);
  EXPECT_NEAR(t.transform.translation.y, 2.0, kTol);
}

TEST_F(Tf2RobotChain, ExtrapolationNamesDirectionTimesAndFrames)
{
  struct Case
  {
    double time;
    std::vector<std::string> fragments;
  };
  const std::vector<Case> cases = {
    {12.0, {"extrapolation into the future", "Requested time 12.000000",
        "latest data is at time 11.000000",
        "when looking up transform from frame [camera] to frame [map]"}},
    {9.25, {"extrapolation into the past", "Requested time 9.250000",
        "earliest data is at time 10.000000",
        "when looking up transform from frame [camera] to frame [map]"}},
  };
  for (const auto & c : cases) {
    try {
      buffer_.lookupTransform("map", "camera", tf2::timeFromSec(c.time));
      ADD_FAILURE() << "no exception at " << c.time;
    } catch (const tf2::ExtrapolationException & e) {
      for (const auto & fragment : c.fragments) {
        EXPECT_NE(std::string(e.what()).find(fragment), std::string::npos)
          << "'" << fragment << "' missing in: " << e.what();
      }
    }
    std::string error;
    EXPECT_FALSE(buffer_.canTransform("map", "camera", tf2::timeFromSec(c.time), &error));
    EXPECT_NE(error.find("extrapolation"), std::string::npos) << error;
  }
}

TEST(Tf2BufferCoreExtrapolation, SingleSampleHoldsOnlyAtItsOwnStamp)
{
  tf2::BufferCore buffer;
  ASSERT_TRUE(buffer.setTransform(link("odom", "base", 5, 1, 0, 0), "test"));
  EXPECT_NO_THROW(buffer.lookupTransform("odom", "base", tf2::timeFromSec(5)));
  try {
    buffer.lookupTransform("odom", "base", tf2::timeFromSec(5.5));
    ADD_FAILURE() << "no exception";
  } catch (const tf2::ExtrapolationException & e) {
    EXPECT_NE(std::string(e.what()).find("but only time 5.000000 is in the buffer"),
      std::string::npos) << e.what();
  }
}

TEST_F(Tf2RobotChain, BadFrameNamesRaiseTheirOwnExceptions)
{
  EXPECT_THROW(buffer_.lookupTransform("map", "nowhere", tf2::TimePointZero), tf2::LookupException);
  EXPECT_THROW(buffer_.lookupTransform("", "map", tf2::TimePointZero), tf2::InvalidArgumentException);
  EXPECT_THROW(buffer_.lookupTransform("/map", "camera", tf2::TimePointZero), tf2::InvalidArgumentException);
  try {
    buffer_.lookupTransform("map", "nowhere", tf2::TimePointZero);
  } catch (const tf2::LookupException & e) {
    EXPECT_NE(std::string(e.what()).find("\"nowhere\""), std::string::npos) << e.what();
    EXPECT_NE(std::string(e.what()).find("source_frame"), std::string::npos) << e.what();
  }
  std::string error;
  EXPECT_FALSE(buffer_.canTransform("nowhere", "map", tf2::TimePointZero, &error));
  EXPECT_NE(error.find("nowhere"), std::string::npos);
}

// tf2 buffer_core.cpp: lookupTransformImpl, canTransform
TEST_F(Tf2RobotChain, AFrameToItselfIsTheIdentityForAnyName)
{
  const struct
  {
    const char * frame;
    double time, stamp;
  } cases[] = {
    {"base_footprint", 0.0, 11.0},  // time zero: the frame's newest sample
    {"base_footprint", 500.0, 500.0},  // far outside its samples
    {"camera", 0.0, 0.0},  // static frames have no newest stamp
    {"map", 0.0, 0.0},  // only ever a parent
    {"nowhere", 3.0, 3.0},
    {"", 0.0, 0.0},
    {"/map", 2.0, 2.0},
  };
  for (const auto & c : cases) {
    const tf2::TimePoint time = tf2::timeFromSec(c.time);
    const auto t = buffer_.lookupTransform(c.frame, c.frame, time);
    EXPECT_EQ(t.header.frame_id, c.frame);
    EXPECT_EQ(t.child_frame_id, c.frame);
    EXPECT_NEAR(secondsOf(t), c.stamp, kTol) << c.frame;
    EXPECT_EQ(t.transform.translation.x, 0.0) << c.frame;
    EXPECT_EQ(t.transform.rotation.w, 1.0) << c.frame;
    EXPECT_TRUE(buffer_.canTransform(c.frame, c.frame, time)) << c.frame;
  }
  // With a fixed frame every name is checked first.
  const tf2::TimePoint t = tf2::timeFromSec(10.5);
  EXPECT_THROW(buffer_.lookupTransform("nowhere", t, "nowhere", t, "map"), tf2::LookupException);
  EXPECT_FALSE(buffer_.canTransform("nowhere", t, "nowhere", t, "map"));
}

TEST_F(Tf2RobotChain, DisconnectedTreesRaiseConnectivity)
{
  ASSERT_TRUE(buffer_.setTransform(link("world", "charger", 0, 1, 1, 0), "test", true));
  try {
    buffer_.lookupTransform("map", "charger", tf2::timeFromSec(10.5));
    ADD_FAILURE() << "no exception";
  } catch (const tf2::ConnectivityException & e) {
    EXPECT_NE(std::string(e.what()).find("'map' and 'charger'"), std::string::npos) << e.what();
  }
  EXPECT_FALSE(buffer_.canTransform("charger", "camera", tf2::TimePointZero));
}

TEST_F(Tf2RobotChain, MovingLinksExpireAfterTheCacheTimeStaticOnesNever)
{
  // Newest sample at 25 s: everything before 15 s is dropped from a 10 s cache.
  ASSERT_TRUE(buffer_.setTransform(link("odom_fusion", "base_footprint", 25, 5, 0, 0), "test"));
  EXPECT_THROW(
    buffer_.lookupTransform("odom_fusion", "base_footprint", tf2::timeFromSec(10.5)),
    tf2::ExtrapolationException);
  EXPECT_FALSE(buffer_.setTransform(link("odom_fusion", "base_footprint", 14, 0, 0, 0), "test"));
  EXPECT_TRUE(buffer_.setTransform(link("odom_fusion", "base_footprint", 16, 0, 0, 0), "test"));

  const auto still_there = buffer_.lookupTransform("map", "odom_fusion", tf2::timeFromSec(1e6));
  EXPECT_NEAR(still_there.transform.translation.x, 10.0, kTol);
}

TEST_F(Tf2RobotChain, FixedFrameLookupFollowsTheBaseThroughTime)
{
  // Where the base was at 10 s, seen from the base at 11 s (odom_fusion held still).
  const auto t = buffer_.lookupTransform(
    "base_footprint", tf2::timeFromSec(11), "base_footprint", tf2::timeFromSec(10), "odom_fusion");
  EXPECT_NEAR(t.transform.translation.x, 0.0, kTol);
  EXPECT_NEAR(t.transform.translation.y, 1.0, kTol);
  EXPECT_NEAR(yawOf(t), -kPi / 2, kTol);
}

TEST(Tf2BufferCoreInput, MalformedTransformsAreRejected)
{
  struct Case
  {
    const char * name;
    geometry_msgs::msg::TransformStamped transform;
  };
  std::vector<Case> cases = {
    {"self", link("a", "a", 1, 0, 0, 0)},
    {"no child", link("a", "", 1, 0, 0, 0)},
    {"no parent", link("", "b", 1, 0, 0, 0)},
    {"nan", link("a", "b", 1, std::nan(""), 0, 0)},
    {"infinite", link("a", "b", 1, 0, HUGE_VAL, 0)},
    {"zero quaternion", link("a", "b", 1, 0, 0, 0)},
  };
  cases.back().transform.transform.rotation.w = 0.0;
  for (const auto & c : cases) {
    tf2::BufferCore buffer;
    EXPECT_FALSE(buffer.setTransform(c.transform, "test")) << c.name;
    EXPECT_TRUE(buffer.getAllFrameNames().empty()) << c.name;
  }
}

TEST(Tf2BufferCoreInput, LeadingSlashesAreStrippedOnInsertion)
{
  tf2::BufferCore buffer;
  ASSERT_TRUE(buffer.setTransform(link("/odom", "/base", 1, 3, 0, 0), "test", true));
  EXPECT_TRUE(buffer._frameExists("odom"));
  EXPECT_NEAR(buffer.lookupTransform("odom", "base", tf2::TimePointZero).transform.translation.x, 3.0, kTol);
}

TEST(Tf2BufferCoreRequests, CallbackFiresOnceWhenTheTransformArrives)
{
  tf2::BufferCore buffer;
  ASSERT_TRUE(buffer.setTransform(link("odom", "base", 1, 0, 0, 0), "test"));
  std::vector<tf2::TransformableResult> results;
  auto cb = [&results](tf2::TransformableRequestHandle, const std::string &, const std::string &,
      tf2::TimePoint, tf2::TransformableResult result) {results.push_back(result);};

  EXPECT_EQ(buffer.addTransformableRequest(cb, "odom", "base", tf2::timeFromSec(1)), 0u);
  const auto handle = buffer.addTransformableRequest(cb, "odom", "base", tf2::timeFromSec(2));
  ASSERT_NE(handle, 0u);
  ASSERT_TRUE(buffer.setTransform(link("odom", "base", 3, 0, 0, 0), "test"));
  ASSERT_TRUE(buffer.setTransform(link("odom", "base", 4, 0, 0, 0), "test"));
  EXPECT_EQ(results, std::vector<tf2::TransformableResult>{tf2::TransformAvailable});

  // Far older than the cache reaches: can never succeed.
  ASSERT_TRUE(buffer.setTransform(link("odom", "base", 30, 0, 0, 0), "test"));
  EXPECT_EQ(
    buffer.addTransformableRequest(cb, "odom", "base", tf2::timeFromSec(2)),
    0xffffffffffffffffULL);

  const auto cancelled = buffer.addTransformableRequest(cb, "odom", "base", tf2::timeFromSec(40));
  buffer.cancelTransformableRequest(cancelled);
  ASSERT_TRUE(buffer.setTransform(link("odom", "base", 41, 0, 0, 0), "test"));
  EXPECT_EQ(results.size(), 1u);
}

TEST_F(Tf2RobotChain, DescribesTheTree)
{
  const std::string text = buffer_.allFramesAsString();
  EXPECT_NE(text.find("Frame camera exists with parent base_footprint."), std::string::npos) << text;
  const std::string yaml = buffer_.allFramesAsYAML();
  EXPECT_NE(yaml.find("base_footprint: \n  parent: 'odom_fusion'"), std::string::npos) << yaml;
  EXPECT_NE(yaml.find("most_recent_transform: 11.000000"), std::string::npos) << yaml;
  std::string parent;
  EXPECT_TRUE(buffer_._getParent("camera", tf2::TimePointZero, parent));
  EXPECT_EQ(parent, "base_footprint");
}

TEST(Tf2Time, ConversionsRoundTripToTheNanosecond)
{
  EXPECT_EQ(tf2::durationFromSec(0.5).count(), 500000000);
  EXPECT_EQ(tf2::durationFromSec(-1.25).count(), -1250000000);
  EXPECT_EQ(tf2::durationFromSec(0.1).count(), 100000000);
  EXPECT_DOUBLE_EQ(tf2::timeToSec(tf2::timeFromSec(1700000000.123456)), 1700000000.123456);
  EXPECT_EQ(tf2::displayTimePoint(tf2::timeFromSec(3.8)), "3.800000");
  EXPECT_EQ(tf2::durationFromSec(std::nan("")).count(), 0);
  EXPECT_EQ(tf2::durationFromSec(1e300), tf2::Duration::max());
}

}  // namespace
