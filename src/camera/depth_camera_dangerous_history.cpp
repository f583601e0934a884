#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <unordered_set>

#include "quorvane_object_detect/dangerous_region.hpp"

namespace
{

using Cell = std::array<double, 3>;

struct CellHash
{
  std::size_t operator()(const Cell & cell) const
  {
    std::size_t seed = 0;
    for (double index : cell) {
      seed ^= std::hash<double>()(index) + 0x9e3779b97f4a7c15ULL + (seed << 6) + (seed >> 2);
    }
    return seed;
  }
};

}  // namespace

bool runsDangerousRegion(int camera_id, bool use_two_cameras)
{
  return camera_id == 2 || (use_two_cameras && camera_id == 1);
}

bool windowWithoutDetection(std::vector<bool> & status, bool detected, int window)
{
  if (window <= 0) {
    return false;
  }
  status.push_back(detected);
  if (status.size() < static_cast<std::size_t>(window)) {
    return false;
  }
  const bool seen = std::find(status.begin(), status.end(), true) != status.end();
  status.clear();
  return !seen;
}

void boundHistory(
  pcl::PointCloud<pcl::PointXYZ> & cloud, const Eigen::Vector3f & leaf, std::size_t max_points)
{
  // Cell indices stay doubles: no coordinate can overflow them, and the grid
  // stays where it is whatever the cloud's extent (unlike a voxel filter's).
  std::unordered_set<Cell, CellHash> taken;
  taken.reserve(std::min(cloud.size(), max_points));
  std::size_t kept = 0;
  for (std::size_t i = 0; i < cloud.size() && kept < max_points; ++i) {
    const pcl::PointXYZ & p = cloud.points[i];
    if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z)) {
      continue;
    }
    const Cell cell{std::floor(static_cast<double>(p.x) / leaf.x()),
      std::floor(static_cast<double>(p.y) / leaf.y()),
      std::floor(static_cast<double>(p.z) / leaf.z())};
    if (taken.insert(cell).second) {
      cloud.points[kept++] = p;
    }
  }
  cloud.points.resize(kept);
  cloud.width = static_cast<uint32_t>(kept);
  cloud.height = 1;
  cloud.is_dense = true;
}
