#pragma once

// Rigid transforms of point clouds and their 4x4 matrix form.

#include <Eigen/Core>

#include <pcl/point_cloud.h>

#include "geometry_msgs/msg/transform_stamped.hpp"
#include "sensor_msgs/msg/point_cloud2.hpp"

namespace pcl_ros
{

/// Applies `transform` to the float x, y, z fields of every point of `in`
/// into `out` (which may be `in`); points with a non-finite coordinate are
/// left as they are.  A cloud without float x, y, z fields or with
/// inconsistent size fields is logged and `out` is left untouched.
void transformPointCloud(
  const Eigen::Matrix4f & transform,
  const sensor_msgs::msg::PointCloud2 & in,
  sensor_msgs::msg::PointCloud2 & out);

/// The homogeneous matrix of a transform: the normalised rotation in the
/// upper-left 3x3 block, the translation in the last column.  Throws
/// std::invalid_argument for a zero or non-finite quaternion.
void transformAsMatrix(const geometry_msgs::msg::TransformStamped & bt, Eigen::Matrix4f & out_mat);

}  // namespace pcl_ros
