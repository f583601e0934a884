#include <memory>

#include "quorvane_object_detect/dangerous_region.hpp"

void dilateCloud(
  const std::shared_ptr<pcl::PointCloud<pcl::PointXYZ>> & in,
  std::shared_ptr<pcl::PointCloud<pcl::PointXYZ>> & out, float d)
{
  out->points.clear();
  out->points.reserve(5 * in->size());
  for (const pcl::PointXYZ & p : in->points) {
    out->points.push_back(p);
    out->points.emplace_back(p.x + d, p.y, p.z);
    out->points.emplace_back(p.x - d, p.y, p.z);
    out->points.emplace_back(p.x, p.y + d, p.z);
    out->points.emplace_back(p.x, p.y - d, p.z);
  }
  out->width = static_cast<uint32_t>(out->points.size());
  out->height = 1;
  out->is_dense = true;
}
