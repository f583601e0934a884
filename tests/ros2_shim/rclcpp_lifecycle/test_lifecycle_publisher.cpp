// A lifecycle publisher's own publish follows activation; the plain
// rclcpp::Publisher path always sends.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "rclcpp/rclcpp.hpp"
#include "rclcpp_lifecycle/lifecycle_node.hpp"
#include "std_msgs/msg/bool.hpp"

namespace
{

using rclcpp_lifecycle::LifecycleNode;
using CallbackReturn = LifecycleNode::CallbackReturn;

struct Received
{
  std::shared_ptr<rclcpp::Node> listener;
  std::shared_ptr<rclcpp::Subscription<std_msgs::msg::Bool>> subscription;
  std::vector<bool> values;

  explicit Received(const std::string & topic)
  : listener(std::make_shared<rclcpp::Node>("listener"))
  {
    subscription = listener->create_subscription<std_msgs::msg::Bool>(
      topic, rclcpp::QoS(10), [this](std_msgs::msg::Bool::ConstSharedPtr msg) {
        values.push_back(msg->data);
      });
  }
  void drain()
  {
    rclcpp::executors::SingleThreadedExecutor executor;
    executor.add_node(listener);
    // spin_some takes one message per subscription, as in ROS 2.
    for (int i = 0; i < 10; ++i) {executor.spin_some();}
  }
};

std_msgs::msg::Bool message(bool value)
{
  std_msgs::msg::Bool msg;
  msg.data = value;
  return msg;
}

TEST(LifecyclePublisher, OwnPublishFollowsActivationBasePublishAlwaysSends)
{
  auto node = std::make_shared<LifecycleNode>("talker");
  Received received("flag");
  auto publisher = node->create_publisher<std_msgs::msg::Bool>("flag", rclcpp::QoS(10));
  rclcpp::Publisher<std_msgs::msg::Bool>::SharedPtr plain = publisher;

  node->configure();
  publisher->publish(message(true));   // inactive: dropped
  plain->publish(message(false));      // plain path: sent
  node->activate();
  publisher->publish(message(true));   // active: sent
  node->deactivate();
  publisher->publish(message(true));   // inactive again: dropped
  publisher->publish(std::make_unique<std_msgs::msg::Bool>(message(true)));  // dropped too

  received.drain();
  EXPECT_EQ(received.values, (std::vector<bool>{false, true}));
  EXPECT_FALSE(publisher->is_activated());
}

// Overriding on_activate without calling the base leaves publishers inactive.
class OwnActivationNode : public LifecycleNode
{
public:
  OwnActivationNode() : LifecycleNode("own_activation") {}
  bool active = false;
  CallbackReturn on_activate(const rclcpp_lifecycle::State &) override
  {
    active = true;
    return CallbackReturn::SUCCESS;
  }
};

TEST(LifecyclePublisher, OverriddenActivationDoesNotActivatePublishers)
{
  auto node = std::make_shared<OwnActivationNode>();
  auto publisher = node->create_publisher<std_msgs::msg::Bool>("own", rclcpp::QoS(1));
  node->configure();
  node->activate();
  EXPECT_TRUE(node->active);
  EXPECT_FALSE(publisher->is_activated());
}

}  // namespace
