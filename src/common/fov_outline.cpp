#include "quorvane_object_detect/fov_outline.hpp"

#include <cmath>

bool fovOutline(
  const Eigen::Vector3f & origin, const pcl::PointCloud<pcl::PointXYZ> & cloud,
  FovPoints & points)
{
  if (cloud.empty()) {
    return false;
  }
  const pcl::PointXYZ & first = cloud.points.front();
  const float ux = first.x - origin.x();
  const float uy = first.y - origin.y();
  const float first_bearing = std::atan2(uy, ux);
  float smallest_bearing = first_bearing;
  float largest_bearing = first_bearing;
  float nearest = std::sqrt(first.x * first.x + first.y * first.y);
  float farthest = nearest;
  for (int column = 0; column < 4; ++column) {
    points.col(column) = first.getVector3fMap();
  }
  for (const pcl::PointXYZ & p : cloud.points) {
    const float dx = p.x - origin.x();
    const float dy = p.y - origin.y();
    const float bearing = first_bearing + std::atan2(ux * dy - uy * dx, ux * dx + uy * dy);
    if (bearing < smallest_bearing) {
      smallest_bearing = bearing;
      points.col(0) = p.getVector3fMap();
    } else if (bearing > largest_bearing) {
      largest_bearing = bearing;
      points.col(1) = p.getVector3fMap();
    }
    const float range = std::sqrt(p.x * p.x + p.y * p.y);
    if (range < nearest) {
      nearest = range;
      points.col(2) = p.getVector3fMap();
    } else if (range > farthest) {
      farthest = range;
      points.col(3) = p.getVector3fMap();
    }
  }
  return true;
}
