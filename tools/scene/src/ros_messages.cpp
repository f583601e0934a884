#include "scene/ros_messages.hpp"

#include <cmath>

#include "cv_bridge/cv_bridge.h"

namespace scene
{
namespace
{

std_msgs::msg::Header header(double stamp, const std::string & frame_id)
{
  std_msgs::msg::Header h;
  h.stamp = toStamp(stamp);
  h.frame_id = frame_id;
  return h;
}

sensor_msgs::msg::Image imageMessage(const cv::Mat & image, const std::string & encoding,
  double stamp, const std::string & frame_id)
{
  sensor_msgs::msg::Image out;
  cv_bridge::CvImage(header(stamp, frame_id), encoding, image).toImageMsg(out);
  return out;
}

geometry_msgs::msg::TransformStamped transform(const std::string & parent,
  const std::string & child, const Eigen::Isometry3f & parent_from_child, double stamp)
{
  geometry_msgs::msg::TransformStamped out;
  out.header = header(stamp, parent);
  out.child_frame_id = child;
  const Eigen::Vector3f t = parent_from_child.translation();
  const Eigen::Quaternionf q(parent_from_child.linear());
  out.transform.translation.x = t.x();
  out.transform.translation.y = t.y();
  out.transform.translation.z = t.z();
  out.transform.rotation.x = q.x();
  out.transform.rotation.y = q.y();
  out.transform.rotation.z = q.z();
  out.transform.rotation.w = q.w();
  return out;
}

}  // namespace

builtin_interfaces::msg::Time toStamp(double seconds)
{
  builtin_interfaces::msg::Time out;
  const double whole = std::floor(seconds);
  int64_t nanoseconds = std::llround((seconds - whole) * 1e9);
  out.sec = static_cast<int32_t>(whole) + static_cast<int32_t>(nanoseconds / 1000000000);
  out.nanosec = static_cast<uint32_t>(nanoseconds % 1000000000);
  return out;
}

sensor_msgs::msg::Image depthImage(const Frame & frame, DepthEncoding encoding, double stamp,
  const std::string & frame_id)
{
  return encoding == DepthEncoding::kMillimetres ?
         imageMessage(millimetres(frame.depth), "16UC1", stamp, frame_id) :
         imageMessage(frame.depth, "32FC1", stamp, frame_id);
}

sensor_msgs::msg::Image colourImage(const Frame & frame, double stamp, const std::string & frame_id)
{
  return imageMessage(frame.colour, "rgb8", stamp, frame_id);
}

sensor_msgs::msg::CameraInfo cameraInfo(const Camera & camera, double stamp,
  const std::string & frame_id)
{
  const Intrinsics & k = camera.intrinsics;
  sensor_msgs::msg::CameraInfo out;
  out.header = header(stamp, frame_id);
  out.width = static_cast<uint32_t>(k.width);
  out.height = static_cast<uint32_t>(k.height);
  out.distortion_model = "plumb_bob";
  out.d = {0.0, 0.0, 0.0, 0.0, 0.0};
  out.k = {k.fx, 0.0, k.cx, 0.0, k.fy, k.cy, 0.0, 0.0, 1.0};
  out.r = {1.0, 0.0, 0.0, 0.0, 1.0, 0.0, 0.0, 0.0, 1.0};
  out.p = {k.fx, 0.0, k.cx, 0.0, 0.0, k.fy, k.cy, 0.0, 0.0, 0.0, 1.0, 0.0};
  return out;
}

geometry_msgs::msg::TransformStamped mountTransform(const Camera & camera, double stamp)
{
  return transform(kBaseFrame, camera.frame_id, camera.base_from_optical, stamp);
}

std::vector<geometry_msgs::msg::TransformStamped> fixedTransforms(const FrameTree & frames,
  double stamp)
{
  return {transform(kMapFrame, kOdomFusionFrame, frames.map_from_odom_fusion, stamp),
    transform(kOdomFusionFrame, kOdomFrame, frames.odom_fusion_from_odom, stamp)};
}

geometry_msgs::msg::TransformStamped robotTransform(const RobotPath & robot, double t, double stamp)
{
  return transform(kOdomFrame, kBaseFrame, robot.odomFromBase(t), stamp);
}

rosgraph_msgs::msg::Clock clockAt(double seconds)
{
  rosgraph_msgs::msg::Clock out;
  out.clock = toStamp(seconds);
  return out;
}

}  // namespace scene
