#ifndef TESTS_ROS2_SHIM_TF2_TRANSFORM_FIXTURES_H_
#define TESTS_ROS2_SHIM_TF2_TRANSFORM_FIXTURES_H_

#include <cmath>
#include <string>

#include "geometry_msgs/msg/transform_stamped.hpp"
#include "tf2/time.h"

namespace tf2_test
{

inline builtin_interfaces::msg::Time stampAt(double seconds)
{
  const auto ns = tf2::durationFromSec(seconds).count();
  builtin_interfaces::msg::Time stamp;
  stamp.sec = static_cast<int32_t>(ns / 1000000000LL);
  stamp.nanosec = static_cast<uint32_t>(ns % 1000000000LL);
  return stamp;
}

// A transform placing `child` in `parent` at (x, y, z), turned by `yaw` about z.
inline geometry_msgs::msg::TransformStamped link(
  const std::string & parent, const std::string & child, double seconds,
  double x, double y, double z, double yaw = 0.0)
{
  geometry_msgs::msg::TransformStamped t;
  t.header.frame_id = parent;
  t.header.stamp = stampAt(seconds);
  t.child_frame_id = child;
  t.transform.translation.x = x;
  t.transform.translation.y = y;
  t.transform.translation.z = z;
  t.transform.rotation.z = std::sin(yaw / 2.0);
  t.transform.rotation.w = std::cos(yaw / 2.0);
  return t;
}

inline double yawOf(const geometry_msgs::msg::TransformStamped & t)
{
  const auto & q = t.transform.rotation;
  return std::atan2(2.0 * (q.w * q.z + q.x * q.y), 1.0 - 2.0 * (q.y * q.y + q.z * q.z));
}

inline double secondsOf(const geometry_msgs::msg::TransformStamped & t)
{
  return t.header.stamp.sec + t.header.stamp.nanosec * 1e-9;
}

}  // namespace tf2_test

#endif  // TESTS_ROS2_SHIM_TF2_TRANSFORM_FIXTURES_H_
