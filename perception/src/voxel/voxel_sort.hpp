#pragma once

#include <vector>

#include "voxel_sums.hpp"

namespace pelorin::perception::voxel {

// Sorts voxels by number: a radix sort of as many 11-bit digits as the
// largest number needs, through `scratch`, which keeps its memory.
void sortByIndex(std::vector<VoxelSum>& voxels, std::vector<VoxelSum>& scratch);

}  // namespace pelorin::perception::voxel
