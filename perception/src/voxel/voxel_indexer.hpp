#pragma once

#include <cmath>
#include <cstdint>
#include <optional>

#include <pcl/point_cloud.h>
#include <pcl/point_types.h>

namespace pelorin::perception::voxel {

inline bool isFinite(const pcl::PointXYZ& p) {
  return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z);
}

// Bounding box of the finite points of a cloud.
struct Bounds {
  float min[3];
  float max[3];
  bool all_finite;  // no point has a NaN or infinite coordinate

  bool empty() const { return !(min[0] <= max[0]); }
};

Bounds finiteBounds(const pcl::PointCloud<pcl::PointXYZ>& cloud);

// pcl::VoxelGrid's voxel numbers over a bounding box.  The arithmetic gives
// PCL's results bit for bit: the product with the float inverse leaf, its
// floor, the difference PCL takes in float, and voxel numbers that wrap where
// PCL's int arithmetic would (for boxes `over` accepts, only the product of
// the voxel counts can).
class VoxelIndexer {
 public:
  // None when PCL would refuse the box as too large for its leaf, or when a
  // voxel number along an axis leaves the int range.  `bounds` must not be
  // empty.
  static std::optional<VoxelIndexer> over(const Bounds& bounds, const float inverse_leaf[3]);

  std::uint32_t index(const pcl::PointXYZ& p) const {
    return cell(p.x, 0) + cell(p.y, 1) * stride_y_ + cell(p.z, 2) * stride_z_;
  }

 private:
  // PCL subtracts floor(min / leaf) from floor(v / leaf) in float: exact while
  // an axis spans at most 2^24 voxels, rounded to float beyond.
  std::uint32_t cell(float v, int axis) const {
    const std::int64_t exact = floorInIntRange(v * inverse_leaf_[axis]) - first_cell_[axis];
    if (rounds_) return static_cast<std::uint32_t>(static_cast<std::int64_t>(static_cast<float>(exact)));
    return static_cast<std::uint32_t>(exact);
  }

  // std::floor for values the box keeps in the int range, without the
  // branches std::floor needs for larger ones.
  static std::int32_t floorInIntRange(float v) {
    const auto truncated = static_cast<std::int32_t>(v);
    return truncated - static_cast<std::int32_t>(static_cast<float>(truncated) > v);
  }

  float inverse_leaf_[3];
  std::int64_t first_cell_[3];  // floor(min / leaf)
  std::uint32_t stride_y_;
  std::uint32_t stride_z_;
  bool rounds_;  // an axis spans more than 2^24 voxels
};

}  // namespace pelorin::perception::voxel
