#pragma once

#include <Eigen/Core>
#include <pcl/point_cloud.h>
#include <pcl/point_types.h>

#include "quorvane_object_detect/common.hpp"

// The outline of a base-frame cloud seen from a camera at `origin`: column 0
// the point of smallest bearing from the camera, column 1 the largest, column
// 2 the point nearest to the base origin (horizontally), column 3 the
// farthest.  Bearings are measured from the first point's direction so they
// never wrap; every column starts at the first point and of equal values the
// earlier point keeps its place.  False, `points` untouched, for an empty cloud.
bool fovOutline(
  const Eigen::Vector3f & origin, const pcl::PointCloud<pcl::PointXYZ> & cloud,
  FovPoints & points);
