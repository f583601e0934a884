#include "pelorin/perception/voxel_grid_filter.hpp"

#include <algorithm>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include <pcl/console/print.h>

#include "voxel_indexer.hpp"
#include "voxel_sort.hpp"
#include "voxel_sums.hpp"

namespace pelorin::perception {

struct VoxelGridFilter::State {
  float inverse_leaf[3];
  unsigned int min_points;
  pcl::PointCloud<pcl::PointXYZ>::VectorType finite;  // of a cloud with invalid points
  std::vector<std::uint32_t> indices;                   // voxels of a chunk of points
  voxel::VoxelSums sums;
  std::vector<voxel::VoxelSum> kept;
  std::vector<voxel::VoxelSum> scratch;
};

VoxelGridFilter::VoxelGridFilter(float leaf_x, float leaf_y, float leaf_z, unsigned int min_points_per_voxel)
    : state_(std::make_unique<State>()) {
  if (!(leaf_x > 0.0f && leaf_y > 0.0f && leaf_z > 0.0f)) {
    throw std::invalid_argument("VoxelGridFilter: leaf sizes must be positive, not " + std::to_string(leaf_x) + ", " +
                                std::to_string(leaf_y) + ", " + std::to_string(leaf_z));
  }
  // As PCL keeps them: the grid is built on the float inverses.
  state_->inverse_leaf[0] = 1.0f / leaf_x;
  state_->inverse_leaf[1] = 1.0f / leaf_y;
  state_->inverse_leaf[2] = 1.0f / leaf_z;
  state_->min_points = min_points_per_voxel;
}

VoxelGridFilter::~VoxelGridFilter() = default;
VoxelGridFilter::VoxelGridFilter(VoxelGridFilter&&) noexcept = default;
VoxelGridFilter& VoxelGridFilter::operator=(VoxelGridFilter&&) noexcept = default;

void VoxelGridFilter::filter(const pcl::PointCloud<pcl::PointXYZ>& in, pcl::PointCloud<pcl::PointXYZ>& out) {
  State& s = *state_;
  s.sums.clear();
  const voxel::Bounds bounds = voxel::finiteBounds(in);
  if (!bounds.empty()) {
    const std::optional<voxel::VoxelIndexer> grid = voxel::VoxelIndexer::over(bounds, s.inverse_leaf);
    if (!grid) {
      PCL_WARN("[VoxelGridFilter] Leaf size is too small for the input dataset; the cloud passes unchanged.\n");
      out = in;
      return;
    }
    const pcl::PointCloud<pcl::PointXYZ>::VectorType* points = &in.points;
    if (!bounds.all_finite) {
      s.finite.clear();
      for (const pcl::PointXYZ& p : in.points) {
        if (voxel::isFinite(p)) s.finite.push_back(p);
      }
      points = &s.finite;
    }
    // The voxel numbers first, in a loop of their own that the compiler
    // vectorises, since the summing loop branches on every new voxel; a
    // thousand points at a time, which the summing finds still in cache.
    constexpr std::size_t kChunk = 1024;
    s.indices.resize(kChunk);
    for (std::size_t begin = 0; begin < points->size(); begin += kChunk) {
      const std::size_t count = std::min(kChunk, points->size() - begin);
      const pcl::PointXYZ* chunk = points->data() + begin;
      for (std::size_t i = 0; i < count; ++i) s.indices[i] = grid->index(chunk[i]);
      s.sums.add(chunk, s.indices.data(), count);
    }
  }

  s.kept.clear();
  for (const voxel::VoxelSum& v : s.sums.sums()) {
    if (v.points.count >= s.min_points) s.kept.push_back(v);
  }
  voxel::sortByIndex(s.kept, s.scratch);

  // `in` is read to the end above, so `out` may be the same cloud.
  out.header = in.header;
  out.sensor_origin_ = in.sensor_origin_;
  out.sensor_orientation_ = in.sensor_orientation_;
  out.points.resize(s.kept.size());
  for (std::size_t i = 0; i < s.kept.size(); ++i) {
    const voxel::PointSum& sum = s.kept[i].points;
    const double n = sum.count;
    out.points[i] = pcl::PointXYZ(static_cast<float>(sum.x / n), static_cast<float>(sum.y / n), static_cast<float>(sum.z / n));
  }
  out.width = static_cast<std::uint32_t>(out.points.size());
  out.height = 1;
  out.is_dense = true;
}

}  // namespace pelorin::perception
