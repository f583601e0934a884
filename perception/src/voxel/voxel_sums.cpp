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
