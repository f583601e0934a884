#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include <pcl/point_types.h>

namespace pelorin::perception::voxel {

// Sum of points in double: centroids of hundreds of points keep float
// precision.
struct PointSum {
  double x, y, z;
  std::uint32_t count;
};

struct VoxelSum {
  std::uint32_t index;   // voxel number
  std::uint32_t bucket;  // where the table holds it, for clearing
  PointSum points;
};

// The point sums of the voxels a frame touches, found by voxel number in an
// open-addressing table kept at most a quarter full: a probe seldom passes
// the first bucket, so its branch predicts well.  Table and sums keep their
// memory across frames; the table grows with the frames' voxel count, not
// their point count, so it stays in cache, and clearing costs the voxels used.
class VoxelSums {
 public:
  VoxelSums();

  // Forgets the last frame.
  void clear();

  // Adds `count` finite points in order, point i to voxel `indices[i]`.
  void add(const pcl::PointXYZ* points, const std::uint32_t* indices, std::size_t count);

  // In the order the voxels were first met.
  const std::vector<VoxelSum>& sums() const { return sums_; }

 private:
  static constexpr std::uint32_t kEmpty = ~std::uint32_t{0};

  // The bucket that holds `index`, or the free one where it goes.
  std::uint32_t bucketOf(std::uint32_t index) const {
    // Fibonacci hashing: the top bits of the product spread the neighbouring
    // voxel numbers of a surface over the table.
    const auto mask = static_cast<std::uint32_t>(buckets_.size() - 1);
    std::uint32_t bucket = (index * 2654435769u) >> shift_;
    while (buckets_[bucket] != kEmpty && sums_[buckets_[bucket]].index != index) bucket = (bucket + 1) & mask;
    return bucket;
  }

  PointSum& sumOf(std::uint32_t index) {
    const std::uint32_t position = buckets_[bucketOf(index)];
    return sums_[position != kEmpty ? position : insert(index)].points;
  }

  // Position in sums_ of a new voxel's zero sum.
  std::uint32_t insert(std::uint32_t index);

  std::vector<std::uint32_t> buckets_;  // positions in sums_, kEmpty when free
  std::vector<VoxelSum> sums_;
  int shift_;  // 32 - log2(table size)
};

}  // namespace pelorin::perception::voxel
