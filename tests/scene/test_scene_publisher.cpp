// The feeder: what a node subscribed to a scene's topics receives.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "scene/scene_publisher.hpp"
#include "tf2_msgs/msg/tf_message.hpp"

namespace
{

double seconds(const builtin_interfaces::msg::Time & t) {return t.sec + 1e-9 * t.nanosec;}

template<typename Message>
struct Inbox
{
  Inbox(const rclcpp::Node::SharedPtr & node, const std::string & topic, const rclcpp::QoS & qos)
  : subscription(node->create_subscription<Message>(topic, qos,
      [this](std::shared_ptr<const Message> m) {received.push_back(*m);})) {}

  std::vector<Message> received;
  typename rclcpp::Subscription<Message>::SharedPtr subscription;
};

TEST(ScenePublisher, FeedsEveryTopicWithItsStamps)
{
  rclcpp::init(0, nullptr);
  {
    scene::Scene s;
    s.room.objects = {scene::person(1, {2.0f, 0.0f})};
    s.cameras = {scene::Camera{}};
    s.cameras[0].intrinsics = {80, 50, 48.0f, 48.0f, 39.5f, 24.5f};
    scene::CameraTopics topics = scene::defaultTopics(1);
    topics.depth_encoding = scene::DepthEncoding::kMetres;
    const auto feeder = std::make_shared<rclcpp::Node>("scene_feeder");
    scene::ScenePublisher publisher(feeder, s, {topics});

    // Subscribed after the static transforms went out: they are latched.
    const auto node = std::make_shared<rclcpp::Node>("listener");
    Inbox<sensor_msgs::msg::Image> colour(node, "/camera_01/color/image_raw", rclcpp::QoS(10));
    Inbox<sensor_msgs::msg::Image> depth(node, "/camera_01/depth/image_raw", rclcpp::QoS(10));
    Inbox<sensor_msgs::msg::CameraInfo> info(node, "/camera_01/depth/camera_info", rclcpp::QoS(10));
    Inbox<rosgraph_msgs::msg::Clock> clock(node, "/clock", rclcpp::ClockQoS());
    Inbox<tf2_msgs::msg::TFMessage> tf(node, "/tf", rclcpp::QoS(10));
    Inbox<tf2_msgs::msg::TFMessage> tf_static(node, "/tf_static", rclcpp::QoS(10).transient_local());

    const std::vector<scene::Frame> frames = publisher.publishFrame(1.5);
    publisher.publishImages(0, frames.at(0), 2.0, 2.04);
    rclcpp::executors::SingleThreadedExecutor executor;
    executor.add_node(node);
    executor.spin_all(std::chrono::milliseconds(100));

    ASSERT_EQ(colour.received.size(), 2u);
    ASSERT_EQ(depth.received.size(), 2u);
    EXPECT_EQ(seconds(colour.received[1].header.stamp), 2.0);
    EXPECT_NEAR(seconds(depth.received[1].header.stamp), 2.04, 1e-9);
    EXPECT_EQ(depth.received[0].encoding, "32FC1");
    EXPECT_EQ(colour.received[0].header.frame_id, s.cameras[0].frame_id);
    ASSERT_EQ(info.received.size(), 1u);
    EXPECT_EQ(info.received[0].header.frame_id, s.cameras[0].frame_id);
    ASSERT_EQ(clock.received.size(), 1u);
    EXPECT_EQ(seconds(clock.received[0].clock), 1.5);
    ASSERT_EQ(tf.received.size(), 1u);
    EXPECT_EQ(tf.received[0].transforms.at(0).child_frame_id, "base_footprint");
    ASSERT_FALSE(tf_static.received.empty());
    std::vector<std::string> children;
    for (const auto & t : tf_static.received.back().transforms) {children.push_back(t.child_frame_id);}
    EXPECT_EQ(children, (std::vector<std::string>{"odom_fusion", "odom", s.cameras[0].frame_id}));
  }
  rclcpp::shutdown();
}

}  // namespace
