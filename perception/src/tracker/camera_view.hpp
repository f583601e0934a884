#pragma once

#include <Eigen/Geometry>

namespace pelorin
{
namespace perception
{

// Where a registered camera looks: its optical frame in the robot base and its image.
struct CameraView
{
  Eigen::Isometry3d base_from_camera = Eigen::Isometry3d::Identity();
  int width = 0;
  int height = 0;
  double fx = 0.0;
  double cx = 0.0;
  double fy = 0.0;
  double cy = 0.0;
};

// Optical centre of the camera in the map.
Eigen::Vector3d CameraCentre(const CameraView& view, const Eigen::Isometry3d& map_from_base);

// True when the map point projects inside the image, more than border_px from its edge,
// at a depth within [min_range, max_range]: a camera there should have seen it.
bool InView(const CameraView& view, const Eigen::Isometry3d& map_from_base,
            const Eigen::Vector3d& point_in_map, double min_range, double max_range,
            int border_px);

}  // namespace perception
}  // namespace pelorin
