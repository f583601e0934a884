#pragma once

// The label grid of the moving-point detector: cells keyed by a packed integer,
// so that any later point finds its cell's label without a neighbour search.

#include <cstdint>
#include <unordered_set>
#include <vector>

#include <pcl/point_cloud.h>
#include <pcl/point_types.h>

#include "pelorin/perception/dynamic_cloud_detector.hpp"

namespace pelorin
{
namespace perception
{

// False for a non-finite point or one outside the key's range (about ±50 km at 5 cm).
bool VoxelKeyOf(const pcl::PointXYZ& point, float voxel_size, int64_t& key);

// Moving cells of the cloud. A cell is a candidate when enough of its points
// are moving; connected candidates of sufficient count are seeds; the moving label then
// spreads from the seeds through touching occupied cells up to the grow distance, since a
// body moving sideways only violates free space along its leading edge.
std::unordered_set<int64_t> LabelVoxels(const pcl::PointCloud<pcl::PointXYZ>& cloud,
                                        const std::vector<uint8_t>& point_moving,
                                        const DynamicDetectorParams& params);

}  // namespace perception
}  // namespace pelorin
