#include "voxel_sums.hpp"

namespace pelorin::perception::voxel {

namespace {
constexpr int kInitialBits = 10;
constexpr std::size_t kLoadDivisor = 4;  // at most a quarter full
}  // namespace

VoxelSums::VoxelSums() : buckets_(std::size_t{1} << kInitialBits, kEmpty), shift_(32 - kInitialBits) {}

void VoxelSums::clear() {
  for (const VoxelSum& s : sums_) buckets_[s.bucket] = kEmpty;
  sums_.clear();
}

void VoxelSums::add(const pcl::PointXYZ* points, const std::uint32_t* indices, std::size_t count) {
  // Neighbouring pixels mostly share a voxel: a run of points in one voxel
  // is summed in registers, in the same order, and stored once.
  for (std::size_t i = 0; i < count;) {
    const std::uint32_t index = indices[i];
    PointSum& stored = sumOf(index);
    PointSum sum = stored;
    do {
      sum.x += points[i].x;
      sum.y += points[i].y;
      sum.z += points[i].z;
      ++sum.count;
      ++i;
    } while (i < count && indices[i] == index);
    stored = sum;
  }
}

std::uint32_t VoxelSums::insert(std::uint32_t index) {
  if (kLoadDivisor * (sums_.size() + 1) > buckets_.size()) {
    buckets_.assign(2 * buckets_.size(), kEmpty);
    --shift_;
    for (std::uint32_t position = 0; position < sums_.size(); ++position) {
      VoxelSum& s = sums_[position];
      s.bucket = bucketOf(s.index);
      buckets_[s.bucket] = position;
    }
  }
  const std::uint32_t bucket = bucketOf(index);
  const auto position = static_cast<std::uint32_t>(sums_.size());
  buckets_[bucket] = position;
  sums_.push_back(VoxelSum{index, bucket, PointSum{0.0, 0.0, 0.0, 0}});
  return position;
}

}  // namespace pelorin::perception::voxel
