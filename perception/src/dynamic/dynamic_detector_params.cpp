#include <limits>
#include <stdexcept>

#include "pelorin/perception/dynamic_cloud_detector.hpp"
#include "yaml_value.hpp"

namespace pelorin
{
namespace perception
{

DynamicDetectorParams ParseDynamicDetectorParams(const YAML::Node& section)
{
  DynamicDetectorParams p;
  if (!section.IsDefined() || section.IsNull()) {
    return p;
  }
  if (!section.IsMap()) {
    throw std::runtime_error("dynamic detector section is not a mapping");
  }
  RejectUnknownKeys(section, {"history_length", "depth_margin", "relative_margin",
                              "neighbourhood_px", "min_depth", "min_violating_frames",
                              "max_baseline", "max_rotation",
                              "voxel_size", "min_moving_points_per_voxel",
                              "min_moving_fraction_per_voxel", "min_moving_voxels_per_cluster",
                              "grow_distance"});
  const int kBigInt = 1000;
  const float kBig = 100.0F;
  ReadOptionalInRange(section, "history_length", p.history_length, 1, 60);  // about 1 MB per frame
  ReadOptionalInRange(section, "depth_margin", p.depth_margin, 0.0F, kBig);
  ReadOptionalInRange(section, "relative_margin", p.relative_margin, 0.0F, kBig);
  ReadOptionalInRange(section, "neighbourhood_px", p.neighbourhood_px, 0, 20);
  ReadOptionalInRange(section, "min_depth", p.min_depth, 0.0F, kBig);
  ReadOptionalInRange(section, "min_violating_frames", p.min_violating_frames, 1, p.history_length);
  ReadOptionalInRange(section, "max_baseline", p.max_baseline, 0.0F, kBig);
  ReadOptionalInRange(section, "max_rotation", p.max_rotation, 0.0F, 3.1416F);
  ReadOptionalInRange(section, "voxel_size", p.voxel_size, 0.005F, 10.0F);
  ReadOptionalInRange(section, "min_moving_points_per_voxel", p.min_moving_points_per_voxel, 1, kBigInt);
  ReadOptionalInRange(section, "min_moving_fraction_per_voxel", p.min_moving_fraction_per_voxel, 0.0F, 1.0F);
  ReadOptionalInRange(section, "min_moving_voxels_per_cluster", p.min_moving_voxels_per_cluster, 1, kBigInt);
  ReadOptionalInRange(section, "grow_distance", p.grow_distance, 0.0F, kBig);
  return p;
}

}  // namespace perception
}  // namespace pelorin
