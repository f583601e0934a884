// The LifecycleNode overload of wait_for_message.
#include <chrono>
#include <future>
#include <memory>
#include <stdexcept>

#include <gtest/gtest.h>

#include "geometry_msgs/msg/twist.hpp"
#include "node_harness.hpp"
#include "quorvane_object_detect/wait_for_message.hpp"

namespace node_test
{
namespace
{

TEST(WaitForMessage, TakesOneMessageTimesOutAndEndsOnShutdown)
{
  auto context = std::make_shared<rclcpp::Context>();
  context->init(0, nullptr);
  auto node = std::make_shared<rclcpp_lifecycle::LifecycleNode>(
    "wait_test", rclcpp::NodeOptions().context(context));
  auto peer = std::make_shared<rclcpp::Node>("wait_test_peer");
  auto publisher = peer->create_publisher<geometry_msgs::msg::Twist>("/cmd_vel", rclcpp::QoS(1));
  const auto group =
    node->create_callback_group(rclcpp::CallbackGroupType::MutuallyExclusive, false);

  geometry_msgs::msg::Twist twist;
  EXPECT_FALSE(
    rclcpp::wait_for_message(twist, node, group, "/cmd_vel", std::chrono::milliseconds(100)));

  auto received = std::async(std::launch::async, [&] {
        return rclcpp::wait_for_message(twist, node, group, "/cmd_vel", std::chrono::seconds(5));
      });
  ASSERT_TRUE(waitFor([&] {return peer->count_subscribers("/cmd_vel") > 0;}));
  geometry_msgs::msg::Twist sent;
  sent.angular.z = 0.7;
  publisher->publish(sent);
  ASSERT_TRUE(received.get());
  EXPECT_DOUBLE_EQ(twist.angular.z, 0.7);
  EXPECT_EQ(peer->count_subscribers("/cmd_vel"), 0U);  // subscribed only while waiting

  auto ended = std::async(std::launch::async, [&] {
        return rclcpp::wait_for_message(twist, node, group, "/cmd_vel", std::chrono::seconds(30));
      });
  ASSERT_TRUE(waitFor([&] {return peer->count_subscribers("/cmd_vel") > 0;}));
  context->shutdown("test");
  ASSERT_EQ(ended.wait_for(std::chrono::seconds(5)), std::future_status::ready);
  EXPECT_FALSE(ended.get());
}

TEST(WaitForMessage, RefusesAGroupAnExecutorCouldSpin)
{
  auto context = std::make_shared<rclcpp::Context>();
  context->init(0, nullptr);
  auto node = std::make_shared<rclcpp_lifecycle::LifecycleNode>(
    "wait_group_test", rclcpp::NodeOptions().context(context));
  const auto hidden =
    node->create_callback_group(rclcpp::CallbackGroupType::MutuallyExclusive, false);
  rclcpp::ExecutorOptions options;
  options.context = context;
  rclcpp::executors::SingleThreadedExecutor executor(options);
  executor.add_callback_group(hidden, node->get_node_base_interface());
  const rclcpp::CallbackGroup::SharedPtr groups[] = {
    nullptr, node->get_node_base_interface()->get_default_callback_group(),
    node->create_callback_group(rclcpp::CallbackGroupType::Reentrant), hidden};
  for (const auto & group : groups) {
    geometry_msgs::msg::Twist twist;
    EXPECT_THROW(
      rclcpp::wait_for_message(twist, node, group, "/cmd_vel", std::chrono::milliseconds(1)),
      std::invalid_argument);
  }
}

}  // namespace
}  // namespace node_test
