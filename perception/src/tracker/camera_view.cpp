#include "camera_view.hpp"

namespace pelorin
{
namespace perception
{

Eigen::Vector3d CameraCentre(const CameraView& view, const Eigen::Isometry3d& map_from_base)
{
  return (map_from_base * view.base_from_camera).translation();
}

bool InView(const CameraView& view, const Eigen::Isometry3d& map_from_base,
            const Eigen::Vector3d& point_in_map, double min_range, double max_range,
            int border_px)
{
  const Eigen::Vector3d p = (map_from_base * view.base_from_camera).inverse() * point_in_map;
  if (!(p.z() >= min_range && p.z() <= max_range)) {
    return false;
  }
  const double u = view.fx * p.x() / p.z() + view.cx;
  const double v = view.fy * p.y() / p.z() + view.cy;
  return u >= border_px && v >= border_px && u <= view.width - 1 - border_px &&
         v <= view.height - 1 - border_px;
}

}  // namespace perception
}  // namespace pelorin
