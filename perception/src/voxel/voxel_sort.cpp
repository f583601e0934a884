#include "voxel_sort.hpp"

#include <array>
#include <cstdint>

namespace pelorin::perception::voxel {

void sortByIndex(std::vector<VoxelSum>& voxels, std::vector<VoxelSum>& scratch) {
  constexpr int kDigitBits = 11;
  constexpr std::uint32_t kDigitMask = (1u << kDigitBits) - 1;
  std::uint32_t largest = 0;
  for (const VoxelSum& v : voxels) largest = v.index > largest ? v.index : largest;
  scratch.resize(voxels.size());
  for (int shift = 0; shift < 32 && (largest >> shift) != 0; shift += kDigitBits) {
    std::array<std::size_t, kDigitMask + 1> start{};
    for (const VoxelSum& v : voxels) ++start[(v.index >> shift) & kDigitMask];
    std::size_t position = 0;
    for (std::size_t& s : start) {
      const std::size_t count = s;
      s = position;
      position += count;
    }
    for (const VoxelSum& v : voxels) scratch[start[(v.index >> shift) & kDigitMask]++] = v;
    voxels.swap(scratch);
  }
}

}  // namespace pelorin::perception::voxel
