#pragma once

#include <string>
#include <vector>

#include "builtin_interfaces/msg/time.hpp"
#include "geometry_msgs/msg/transform_stamped.hpp"
#include "rosgraph_msgs/msg/clock.hpp"
#include "scene/render.hpp"
#include "sensor_msgs/msg/camera_info.hpp"
#include "sensor_msgs/msg/image.hpp"

// A rendered scene as the messages of camera drivers, odometry and the clock.
// Stamps are in seconds.
namespace scene
{

enum class DepthEncoding { kMillimetres, kMetres };  // "16UC1", "32FC1"

builtin_interfaces::msg::Time toStamp(double seconds);

sensor_msgs::msg::Image depthImage(const Frame & frame, DepthEncoding encoding, double stamp,
  const std::string & frame_id);
// "rgb8".
sensor_msgs::msg::Image colourImage(const Frame & frame, double stamp, const std::string & frame_id);
// Plumb bob without distortion: K = [fx 0 cx; 0 fy cy; 0 0 1] row-major, R = I, P = [K | 0].
sensor_msgs::msg::CameraInfo cameraInfo(const Camera & camera, double stamp,
  const std::string & frame_id);

// base_footprint -> camera.frame_id, for /tf_static.
geometry_msgs::msg::TransformStamped mountTransform(const Camera & camera, double stamp);
// map -> odom_fusion -> odom, for /tf_static.
std::vector<geometry_msgs::msg::TransformStamped> fixedTransforms(const FrameTree & frames,
  double stamp);
// odom -> base_footprint where the path puts the robot at t, for /tf.
geometry_msgs::msg::TransformStamped robotTransform(const RobotPath & robot, double t, double stamp);

rosgraph_msgs::msg::Clock clockAt(double seconds);

}  // namespace scene
