#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "rclcpp/rclcpp.hpp"
#include "tf2/exceptions.h"
#include "tf2_ros/buffer.h"
#include "tf2_ros/buffer_interface.h"
#include "tf2_ros/transform_broadcaster.h"
#include "tf2_ros/transform_listener.h"
#include "transform_fixtures.h"

namespace
{

using namespace std::chrono_literals;
using tf2_test::link;

class Tf2RosBuffer : public ::testing::Test
{
protected:
  void SetUp() override
  {
    rclcpp::init(0, nullptr);
    node_ = std::make_shared<rclcpp::Node>("tf2_ros_buffer_test");
    buffer_ = std::make_unique<tf2_ros::Buffer>(node_->get_clock());
    listener_ = std::make_shared<tf2_ros::TransformListener>(*buffer_);
    broadcaster_ = std::make_unique<tf2_ros::TransformBroadcaster>(node_);
  }

  void TearDown() override
  {
    broadcaster_.reset();
    listener_.reset();
    buffer_.reset();
    node_.reset();
    rclcpp::shutdown();
  }

  rclcpp::Node::SharedPtr node_;
  std::unique_ptr<tf2_ros::Buffer> buffer_;
  std::shared_ptr<tf2_ros::TransformListener> listener_;
  std::unique_ptr<tf2_ros::TransformBroadcaster> broadcaster_;
};

TEST_F(Tf2RosBuffer, LookupWaitsForATransformThatArrivesDuringTheTimeout)
{
  std::thread publisher([this] {
      std::this_thread::sleep_for(100ms);
      broadcaster_->sendTransform(link("odom_fusion", "base_footprint", 100, 1.5, 0, 0));
    });
  geometry_msgs::msg::TransformStamped t;
  EXPECT_NO_THROW(
    t = buffer_->lookupTransform(
      "odom_fusion", "base_footprint", tf2::timeFromSec(100), tf2::durationFromSec(0.5)));
  publisher.join();
  EXPECT_DOUBLE_EQ(t.transform.translation.x, 1.5);
  EXPECT_EQ(t.header.frame_id, "odom_fusion");
  EXPECT_EQ(t.child_frame_id, "base_footprint");
}

TEST_F(Tf2RosBuffer, WaitEndsOnlyWhenTheRequestedTimeIsCovered)
{
  // The first sample does not reach 100.5 s; the lookup must keep waiting for
  // the second one rather than give up on the first wake-up.
  std::thread publisher([this] {
      std::this_thread::sleep_for(50ms);
      broadcaster_->sendTransform(link("odom", "base", 100, 0, 0, 0));
      std::this_thread::sleep_for(50ms);
      broadcaster_->sendTransform(link("odom", "base", 101, 2, 0, 0));
    });
  geometry_msgs::msg::TransformStamped t;
  EXPECT_NO_THROW(
    t = buffer_->lookupTransform(
      "odom", "base", rclcpp::Time(100, 500000000), rclcpp::Duration::from_seconds(2.0)));
  publisher.join();
  EXPECT_DOUBLE_EQ(t.transform.translation.x, 1.0);
}

TEST_F(Tf2RosBuffer, TimeoutRaisesWhatTheLookupRaises)
{
  EXPECT_THROW(
    buffer_->lookupTransform("odom", "nowhere", tf2::TimePointZero, tf2::durationFromSec(0.05)),
    tf2::LookupException);

  broadcaster_->sendTransform(link("odom", "base", 100, 0, 0, 0));
  ASSERT_TRUE(buffer_->canTransform("odom", "base", tf2::timeFromSec(100), tf2::durationFromSec(1)));
  EXPECT_THROW(
    buffer_->lookupTransform("odom", "base", tf2::timeFromSec(105), tf2::durationFromSec(0.05)),
    tf2::ExtrapolationException);

  std::string error;
  EXPECT_FALSE(
    buffer_->canTransform("odom", "base", tf2::timeFromSec(105), tf2::durationFromSec(0.05), &error));
  EXPECT_NE(error.find("extrapolation"), std::string::npos) << error;
  EXPECT_NE(error.find("timeout was 0.05"), std::string::npos) << error;
}

TEST_F(Tf2RosBuffer, ShutdownEndsAWait)
{
  auto waiting = std::async(std::launch::async, [this] {
      return buffer_->canTransform("odom", "base", tf2::TimePointZero, std::chrono::hours(1));
    });
  std::this_thread::sleep_for(100ms);
  rclcpp::shutdown();
  // Without the shutdown wake-up this would sleep for the full hour.
  EXPECT_FALSE(waiting.get());
}

// tf2_ros buffer.cpp: canTransform, lookupTransform, checkAndErrorDedicatedThreadPresent
TEST(Tf2RosBufferWithoutListener, TimeoutIsRefusedWithoutAFeedingThread)
{
  rclcpp::init(0, nullptr);
  auto node = std::make_shared<rclcpp::Node>("fed_by_the_caller");
  tf2_ros::Buffer alone(std::make_shared<rclcpp::Clock>());
  tf2_ros::Buffer fed_by_caller(node->get_clock());
  tf2_ros::TransformListener listener(fed_by_caller, node, false);
  const std::string error_line = std::string("[tf2_buffer]: ") + tf2_ros::threading_error;

  for (tf2_ros::Buffer * buffer : {&alone, &fed_by_caller}) {
    ASSERT_TRUE(buffer->setTransform(link("a", "b", 1, 0, 0, 0), "test", true));
    for (const tf2::Duration timeout : {tf2::Duration::zero(), tf2::durationFromSec(10)}) {
      std::string error;
      const auto start = std::chrono::steady_clock::now();
      testing::internal::CaptureStderr();
      EXPECT_FALSE(buffer->canTransform("a", "b", tf2::TimePointZero, timeout, &error));
      EXPECT_FALSE(buffer->canTransform("a", "a", tf2::TimePointZero, timeout));
      EXPECT_NO_THROW(buffer->lookupTransform("a", "b", tf2::TimePointZero, timeout));
      EXPECT_THROW(
        buffer->lookupTransform("a", "c", tf2::TimePointZero, timeout), tf2::LookupException);
      const std::string log = testing::internal::GetCapturedStderr();
      EXPECT_LT(std::chrono::steady_clock::now() - start, 5s) << "waited";
      EXPECT_EQ(error, tf2_ros::threading_error);
      size_t lines = 0;
      for (size_t at = log.find(error_line); at != std::string::npos;
        at = log.find(error_line, at + 1))
      {
        ++lines;
      }
      EXPECT_EQ(lines, 4u) << log;
    }
  }
  rclcpp::shutdown();
}

TEST(Tf2RosTimeConversions, RoundTripThroughMessagesAndRclcpp)
{
  for (const std::int64_t ns : {0LL, 1LL, 999999999LL, 1700000000123456789LL, -1500000000LL}) {
    const tf2::TimePoint t{std::chrono::nanoseconds(ns)};
    const auto msg = tf2_ros::toMsg(t);
    EXPECT_LT(msg.nanosec, 1000000000u) << ns;
    EXPECT_EQ(tf2_ros::fromMsg(msg), t) << ns;
    EXPECT_EQ(tf2_ros::fromMsg(tf2_ros::toMsg(t.time_since_epoch())), t.time_since_epoch()) << ns;
    EXPECT_EQ(tf2_ros::fromRclcpp(tf2_ros::toRclcpp(t.time_since_epoch())), t.time_since_epoch());
    if (ns >= 0) {
      EXPECT_EQ(tf2_ros::fromRclcpp(tf2_ros::toRclcpp(t)), t) << ns;
    }
  }
}

}  // namespace
