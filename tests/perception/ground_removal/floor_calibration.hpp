#pragma once

#include <Eigen/Geometry>
#include <pcl/point_cloud.h>
#include <pcl/point_types.h>

// Places a robot base frame under a camera from the floor it sees, as an
// integrator calibrates a mounted camera: z up from the floor, x along the
// camera's view, the origin under the camera.
namespace recorded {

struct FloorCalibration {
  bool found = false;
  float camera_height = 0.0f;                               // above the floor
  Eigen::Affine3f camera_to_base = Eigen::Affine3f::Identity();
};

// RANSAC on the points of the lower half of the image: of the roughly
// horizontal planes found there (tables and seats are horizontal too), the
// floor is the one farthest below the camera.
FloorCalibration calibrateFloor(const pcl::PointCloud<pcl::PointXYZ>& camera_cloud);

}  // namespace recorded
