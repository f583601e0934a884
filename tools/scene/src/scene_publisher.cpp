#include "scene/scene_publisher.hpp"

#include <stdexcept>
#include <utility>

namespace scene
{

CameraTopics defaultTopics(int number)
{
  const std::string camera = "/camera_0" + std::to_string(number);
  return {camera + "/color/image_raw", camera + "/depth/image_raw", camera + "/depth/camera_info"};
}

ScenePublisher::ScenePublisher(rclcpp::Node::SharedPtr node, Scene scene,
  std::vector<CameraTopics> topics)
: scene_(std::move(scene))
{
  if (topics.size() != scene_.cameras.size()) {
    throw std::invalid_argument("one set of topics per camera");
  }
  for (const CameraTopics & t : topics) {
    cameras_.push_back({node->create_publisher<sensor_msgs::msg::Image>(t.colour, rclcpp::QoS(5)),
        node->create_publisher<sensor_msgs::msg::Image>(t.depth, rclcpp::QoS(5)),
        node->create_publisher<sensor_msgs::msg::CameraInfo>(t.camera_info, rclcpp::QoS(5)),
        t.depth_encoding});
  }
  clock_ = node->create_publisher<rosgraph_msgs::msg::Clock>("/clock", rclcpp::ClockQoS());
  tf_ = std::make_unique<tf2_ros::TransformBroadcaster>(node);
  tf_static_ = std::make_unique<tf2_ros::StaticTransformBroadcaster>(node);
  std::vector<geometry_msgs::msg::TransformStamped> fixed = fixedTransforms(scene_.frames, 0.0);
  for (const Camera & c : scene_.cameras) {fixed.push_back(mountTransform(c, 0.0));}
  tf_static_->sendTransform(fixed);
}

void ScenePublisher::publishClock(double seconds)
{
  clock_->publish(clockAt(seconds));
}

void ScenePublisher::publishRobot(double t, double stamp)
{
  tf_->sendTransform(robotTransform(scene_.robot, t, stamp));
}

void ScenePublisher::publishCameraInfo(std::size_t camera, double stamp)
{
  const Camera & c = scene_.cameras.at(camera);
  cameras_.at(camera).info->publish(cameraInfo(c, stamp, c.frame_id));
}

void ScenePublisher::publishImages(std::size_t camera, const Frame & frame, double colour_stamp,
  double depth_stamp)
{
  const std::string & frame_id = scene_.cameras.at(camera).frame_id;
  const CameraPublishers & p = cameras_.at(camera);
  p.colour->publish(colourImage(frame, colour_stamp, frame_id));
  p.depth->publish(depthImage(frame, p.depth_encoding, depth_stamp, frame_id));
}

std::vector<Frame> ScenePublisher::publishFrame(double t)
{
  publishClock(t);
  publishRobot(t, t);
  std::vector<Frame> frames;
  for (std::size_t i = 0; i < cameras_.size(); ++i) {
    frames.push_back(render(scene_, i, t));
    publishCameraInfo(i, t);
    publishImages(i, frames.back(), t, t);
  }
  return frames;
}

}  // namespace scene
