#include "quorvane_object_detect/pose_of_matrix.hpp"

#include <Eigen/Geometry>

geometry_msgs::msg::Pose poseOfMatrix(const Eigen::Matrix4f & matrix)
{
  geometry_msgs::msg::Pose pose;
  pose.position.x = matrix(0, 3);
  pose.position.y = matrix(1, 3);
  pose.position.z = matrix(2, 3);
  const Eigen::Quaternionf rotation(Eigen::Matrix3f(matrix.block<3, 3>(0, 0)));
  pose.orientation.x = rotation.x();
  pose.orientation.y = rotation.y();
  pose.orientation.z = rotation.z();
  pose.orientation.w = rotation.w();
  return pose;
}
