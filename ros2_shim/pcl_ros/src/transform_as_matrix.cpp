#include <cmath>
#include <stdexcept>
#include <string>

#include <Eigen/Geometry>

#include "pcl_ros/transforms.hpp"

namespace pcl_ros
{

void transformAsMatrix(const geometry_msgs::msg::TransformStamped & bt, Eigen::Matrix4f & out_mat)
{
  const auto & q = bt.transform.rotation;
  const auto & t = bt.transform.translation;
  const double norm = std::sqrt(q.x * q.x + q.y * q.y + q.z * q.z + q.w * q.w);
  if (!std::isfinite(norm) || norm == 0.0) {
    throw std::invalid_argument(
            "Transform from " + bt.child_frame_id + " to " + bt.header.frame_id +
            " has no valid rotation quaternion");
  }
  // Rotation in double precision so a near-unit quaternion rounds once.
  const Eigen::Quaterniond rotation(q.w / norm, q.x / norm, q.y / norm, q.z / norm);
  Eigen::Matrix4d matrix = Eigen::Matrix4d::Identity();
  matrix.topLeftCorner<3, 3>() = rotation.toRotationMatrix();
  matrix.topRightCorner<3, 1>() = Eigen::Vector3d(t.x, t.y, t.z);
  out_mat = matrix.cast<float>();
}

}  // namespace pcl_ros
