#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <thread>

#include "rclcpp/rclcpp.hpp"
#include "tf2/exceptions.h"
#include "tf2_ros/buffer.h"
#include "tf2_ros/static_transform_broadcaster.h"
#include "tf2_ros/transform_broadcaster.h"
#include "tf2_ros/transform_listener.h"
#include "transform_fixtures.h"

namespace
{

using namespace std::chrono_literals;
using tf2_test::link;

class Tf2RosListener : public ::testing::Test
{
protected:
  void SetUp() override
  {
    rclcpp::init(0, nullptr);
    node_ = std::make_shared<rclcpp::Node>("tf2_ros_listener_test");
  }

  void TearDown() override
  {
    node_.reset();
    rclcpp::shutdown();
  }

  rclcpp::Node::SharedPtr node_;
};

TEST_F(Tf2RosListener, LateListenerReceivesEveryStaticFrameSentBefore)
{
  tf2_ros::StaticTransformBroadcaster broadcaster(node_);
  broadcaster.sendTransform(link("map", "odom_fusion", 0, 10, 0, 0));
  broadcaster.sendTransform(link("base_footprint", "camera", 0, 0.2, 0, 0.5));
  // Sent again: replaces the earlier camera pose instead of adding a second one.
  broadcaster.sendTransform(link("base_footprint", "camera", 0, 0.3, 0, 0.5));

  tf2_ros::Buffer buffer(node_->get_clock());
  tf2_ros::TransformListener listener(buffer);
  const auto timeout = tf2::durationFromSec(2.0);
  EXPECT_DOUBLE_EQ(
    buffer.lookupTransform("map", "odom_fusion", tf2::TimePointZero, timeout).transform.translation.x,
    10.0);
  EXPECT_DOUBLE_EQ(
    buffer.lookupTransform("base_footprint", "camera", tf2::TimePointZero, timeout)
    .transform.translation.x, 0.3);
  // Static frames hold at any time, however far from their stamp.
  EXPECT_NO_THROW(buffer.lookupTransform("map", "odom_fusion", tf2::timeFromSec(1e6)));
}

TEST_F(Tf2RosListener, NodeListenerWithoutThreadIsFedByTheCallersExecutor)
{
  tf2_ros::Buffer buffer(node_->get_clock());
  tf2_ros::TransformListener listener(buffer, node_, false);
  EXPECT_FALSE(buffer.isUsingDedicatedThread());

  tf2_ros::TransformBroadcaster broadcaster(node_);
  broadcaster.sendTransform(link("odom", "base", 5, 1, 2, 3));
  EXPECT_FALSE(buffer.canTransform("odom", "base", tf2::timeFromSec(5)));

  rclcpp::executors::SingleThreadedExecutor executor;
  executor.add_node(node_);
  executor.spin_some();
  EXPECT_TRUE(buffer.canTransform("odom", "base", tf2::timeFromSec(5)));
}

TEST_F(Tf2RosListener, ListenersComeAndGoWhileFramesArrive)
{
  tf2_ros::TransformBroadcaster broadcaster(node_);
  std::atomic<bool> stop{false};
  std::thread publisher([&] {
      for (int i = 0; !stop; ++i) {
        broadcaster.sendTransform(link("odom", "base", 100 + i * 0.01, i * 0.01, 0, 0));
        std::this_thread::sleep_for(1ms);
      }
    });
  for (int round = 0; round < 20; ++round) {
    tf2_ros::Buffer buffer(node_->get_clock());
    auto listener = std::make_shared<tf2_ros::TransformListener>(buffer);
    EXPECT_TRUE(buffer.canTransform("odom", "base", tf2::TimePointZero, tf2::durationFromSec(2)));
    listener.reset();  // joins its thread before the buffer goes away
  }
  // Destroyed before its thread had a chance to start spinning.
  for (int round = 0; round < 200; ++round) {
    tf2_ros::Buffer buffer(node_->get_clock());
    tf2_ros::TransformListener listener(buffer);
  }
  stop = true;
  publisher.join();
}

TEST(Tf2RosListenerContext, ListenerNeedsAnInitialisedContext)
{
  tf2_ros::Buffer buffer(std::make_shared<rclcpp::Clock>());
  EXPECT_THROW(tf2_ros::TransformListener listener(buffer), std::runtime_error);
}

}  // namespace
