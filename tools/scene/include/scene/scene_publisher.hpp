#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "rclcpp/rclcpp.hpp"
#include "rosgraph_msgs/msg/clock.hpp"
#include "scene/ros_messages.hpp"
#include "sensor_msgs/msg/camera_info.hpp"
#include "sensor_msgs/msg/image.hpp"
#include "tf2_ros/static_transform_broadcaster.h"
#include "tf2_ros/transform_broadcaster.h"

namespace scene
{

struct CameraTopics
{
  std::string colour;
  std::string depth;
  std::string camera_info;
  DepthEncoding depth_encoding = DepthEncoding::kMillimetres;
};

// The node's default topics of camera `number` (1, 2, ...).
CameraTopics defaultTopics(int number);

// Plays a scene into a running node as its camera drivers, odometry and
// clock would.  Images carry the camera's frame_id.
class ScenePublisher
{
public:
  // topics[i] feeds scene.cameras[i].  The camera mounts and map ->
  // odom_fusion -> odom go out on /tf_static at once (latched).
  ScenePublisher(rclcpp::Node::SharedPtr node, Scene scene, std::vector<CameraTopics> topics);

  const Scene & scene() const {return scene_;}

  void publishClock(double seconds);
  // odom -> base_footprint on /tf where the path puts the robot at t.
  void publishRobot(double t, double stamp);
  void publishCameraInfo(std::size_t camera, double stamp);
  // Stamped apart, so that tests can offset colour from depth.
  void publishImages(std::size_t camera, const Frame & frame, double colour_stamp,
    double depth_stamp);

  // All of time t stamped t: the clock, the robot, then per camera its info,
  // colour and depth.  Returns what each camera saw.
  std::vector<Frame> publishFrame(double t);

private:
  struct CameraPublishers
  {
    rclcpp::Publisher<sensor_msgs::msg::Image>::SharedPtr colour;
    rclcpp::Publisher<sensor_msgs::msg::Image>::SharedPtr depth;
    rclcpp::Publisher<sensor_msgs::msg::CameraInfo>::SharedPtr info;
    DepthEncoding depth_encoding;
  };

  Scene scene_;
  std::vector<CameraPublishers> cameras_;
  rclcpp::Publisher<rosgraph_msgs::msg::Clock>::SharedPtr clock_;
  std::unique_ptr<tf2_ros::TransformBroadcaster> tf_;
  std::unique_ptr<tf2_ros::StaticTransformBroadcaster> tf_static_;
};

}  // namespace scene
