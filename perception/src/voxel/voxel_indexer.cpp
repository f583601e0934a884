#include "voxel_indexer.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

namespace pelorin::perception::voxel {

namespace {

// A point as four lanes: x, y, z and the padding.  GCC and Clang lower these
// to SSE or NEON, or to plain code where neither exists.
using Lanes = float __attribute__((vector_size(16)));
using LaneFlags = std::int32_t __attribute__((vector_size(16)));

Bounds boundsSkippingInvalidPoints(const pcl::PointCloud<pcl::PointXYZ>& cloud) {
  // Branch-free: a point with a NaN or infinite coordinate becomes NaN, which
  // std::min and std::max with the NaN second pass over.
  float lo_x = std::numeric_limits<float>::max(), lo_y = lo_x, lo_z = lo_x;
  float hi_x = std::numeric_limits<float>::lowest(), hi_y = hi_x, hi_z = hi_x;
  for (const pcl::PointXYZ& p : cloud.points) {
    const float invalid = p.x * 0.0f + p.y * 0.0f + p.z * 0.0f;  // 0 or NaN
    const float x = p.x + invalid, y = p.y + invalid, z = p.z + invalid;
    lo_x = std::min(lo_x, x), lo_y = std::min(lo_y, y), lo_z = std::min(lo_z, z);
    hi_x = std::max(hi_x, x), hi_y = std::max(hi_y, y), hi_z = std::max(hi_z, z);
  }
  return Bounds{{lo_x, lo_y, lo_z}, {hi_x, hi_y, hi_z}, false};
}

}  // namespace

Bounds finiteBounds(const pcl::PointCloud<pcl::PointXYZ>& cloud) {
  // First the bounds of every coordinate, a whole point per step: the
  // comparisons pass over NaN and an infinity shows in the bounds.  Clouds
  // from depth images have neither; a cloud with either is looked at again
  // point by point.
  Lanes lo = Lanes{} + std::numeric_limits<float>::max();
  Lanes hi = Lanes{} + std::numeric_limits<float>::lowest();
  LaneFlags nan{};
  for (const pcl::PointXYZ& p : cloud.points) {
    Lanes v;
    std::memcpy(&v, p.data, sizeof v);
    lo = v < lo ? v : lo;
    hi = hi < v ? v : hi;
    nan |= v != v;
  }
  bool all_finite = (nan[0] | nan[1] | nan[2]) == 0;
  for (int a = 0; a < 3; ++a) all_finite = all_finite && std::isfinite(lo[a]) && std::isfinite(hi[a]);
  if (!all_finite) return boundsSkippingInvalidPoints(cloud);
  // + 0: -0 becomes +0, as in the pass point by point.
  return Bounds{{lo[0] + 0.0f, lo[1] + 0.0f, lo[2] + 0.0f}, {hi[0] + 0.0f, hi[1] + 0.0f, hi[2] + 0.0f}, true};
}

std::optional<VoxelIndexer> VoxelIndexer::over(const Bounds& bounds, const float inverse_leaf[3]) {
  constexpr double kIntLimit = 2147483648.0;  // 2^31
  constexpr std::int64_t kExactInFloat = std::int64_t{1} << 24;
  constexpr std::int64_t kMaxVoxels = std::numeric_limits<std::int32_t>::max();
  VoxelIndexer indexer;
  indexer.rounds_ = false;
  std::int64_t voxels = 1;
  std::int64_t counts[3];
  for (int a = 0; a < 3; ++a) {
    // PCL's guard: int64(extent / leaf) + 1 voxels per axis, their product at
    // most INT32_MAX.  Taken here without overflow: beyond 2^31 on one axis
    // the product is too large anyway.
    const float extent = (bounds.max[a] - bounds.min[a]) * inverse_leaf[a];
    if (!(extent < kIntLimit)) return std::nullopt;
    voxels *= static_cast<std::int64_t>(extent) + 1;
    if (voxels > kMaxVoxels) return std::nullopt;

    const float first = std::floor(bounds.min[a] * inverse_leaf[a]);
    const float last = std::floor(bounds.max[a] * inverse_leaf[a]);
    if (!(first >= -kIntLimit && last < kIntLimit)) return std::nullopt;
    indexer.inverse_leaf_[a] = inverse_leaf[a];
    indexer.first_cell_[a] = static_cast<std::int64_t>(first);
    counts[a] = static_cast<std::int64_t>(last) - indexer.first_cell_[a] + 1;
    indexer.rounds_ = indexer.rounds_ || counts[a] > kExactInFloat;
  }
  indexer.stride_y_ = static_cast<std::uint32_t>(counts[0]);
  indexer.stride_z_ = static_cast<std::uint32_t>(counts[0]) * static_cast<std::uint32_t>(counts[1]);
  return indexer;
}

}  // namespace pelorin::perception::voxel
