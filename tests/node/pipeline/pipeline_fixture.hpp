#pragma once

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "geometry_msgs/msg/twist.hpp"
#include "node_harness.hpp"
#include "pcl_conversions/pcl_conversions.h"
#include "scene/camera.hpp"
#include "sensor_msgs/msg/point_cloud2.hpp"
#include "tf2_ros/static_transform_broadcaster.h"

namespace node_test
{

// How long a frame may take: it may wait for a model inference, which takes
// seconds in sanitizer builds.
constexpr std::chrono::seconds kFrameLimit(60);

// The last messages of one topic, as they arrive.
template<typename Message>
class Recorder
{
public:
  Recorder(const rclcpp::Node::SharedPtr & peer, const std::string & topic)
  {
    subscription_ = peer->create_subscription<Message>(
      topic, rclcpp::QoS(100), [this](std::shared_ptr<const Message> message) {
        std::lock_guard<std::mutex> lock(mutex_);
        messages_.push_back(message);
      });
  }
  std::vector<std::shared_ptr<const Message>> messages() const
  {
    std::lock_guard<std::mutex> lock(mutex_);
    return messages_;
  }
  std::size_t count() const {return messages().size();}
  // Delivery runs on the peer's executor: wait for it.
  bool reaches(std::size_t count) const
  {
    return waitFor([&] {return this->count() >= count;}, kFrameLimit);
  }

private:
  typename rclcpp::Subscription<Message>::SharedPtr subscription_;
  mutable std::mutex mutex_;
  std::vector<std::shared_ptr<const Message>> messages_;
};

// One camera of the real node fed frame by frame: colour and depth images
// with chosen stamps on simulated time, the robot standing at the odom origin.
class PipelineTest : public ::testing::Test
{
protected:
  void TearDown() override {stopCapture();}

  // Starts one camera per feed with the test parameters and `extra`; the
  // node clock shows `now`.  Unless `robot_on_tf`, the robot stands still at
  // the odom origin.
  void startNode(
    std::vector<rclcpp::Parameter> extra, double now = 1000.0,
    std::vector<CameraFeed> feeds = defaultFeeds(1), bool robot_on_tf = false);

  // Publishes a colour image and waits until the camera has queued it.
  void rgb(double stamp, int camera = 1, const std::string & encoding = "rgb8");
  void publishRgb(const sensor_msgs::msg::Image & image, int camera = 1);
  // Publishes a depth image and waits until the callback has finished it.
  void depth(const sensor_msgs::msg::Image & image, int camera = 1);
  void depth(double stamp, double value, int camera = 1);

  std::shared_ptr<DepthCamera> camera(int number = 1) const;
  // Log lines (level and text) since the start of capture; ends the capture.
  std::vector<std::string> stopCapture();

  std::unique_ptr<NodeHarness> harness_;

private:
  rclcpp::Publisher<sensor_msgs::msg::Image>::SharedPtr publisher(const std::string & topic);

  std::vector<rclcpp::Publisher<sensor_msgs::msg::Image>::SharedPtr> publishers_;
  std::shared_ptr<tf2_ros::StaticTransformBroadcaster> odom_;
  bool capturing_ = false;
};

// With `angular_z`, sends it on "cmd_vel" once a trash thread waits for it
// (the thread subscribes only while it waits); join after the depth image.
std::thread answerCmdVel(
  const rclcpp::Node::SharedPtr & peer,
  const rclcpp::Publisher<geometry_msgs::msg::Twist>::SharedPtr & cmd_vel,
  std::optional<double> angular_z);

// A wall of constant depth over the whole image (the harness's 640 x 400).
sensor_msgs::msg::Image wall(double stamp, double millimetres, int width = 640, int height = 400);

// Lines of `texts` that start with `prefix`.
std::vector<std::string> linesStarting(
  const std::vector<std::string> & texts, const std::string & prefix);

double stampOf(const builtin_interfaces::msg::Time & stamp);

// The feed of camera `number` (its default topics) with the intrinsics,
// image size and mount of `camera`.
CameraFeed feedOf(const scene::Camera & camera, int number = 1);

// Camera `number`'s ground-removal keys, as an integrator sets them for its mount.
std::vector<rclcpp::Parameter> groundParameters(const scene::Camera & camera, int number = 1);

template<typename Point>
pcl::PointCloud<Point> fromMessage(const sensor_msgs::msg::PointCloud2 & message)
{
  pcl::PointCloud<Point> cloud;
  pcl::fromROSMsg(message, cloud);
  return cloud;
}

}  // namespace node_test
