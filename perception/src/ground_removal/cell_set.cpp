#include "cell_set.hpp"

namespace pelorin::perception::ground {
namespace {

constexpr uint64_t kEmpty = 0;

uint64_t mix(uint64_t key) {
  key ^= key >> 33;
  key *= 0xff51afd7ed558ccdULL;
  key ^= key >> 33;
  key *= 0xc4ceb9fe1a85ec53ULL;
  key ^= key >> 33;
  return key;
}

}  // namespace

void CellSet::reset(std::size_t expected) {
  std::size_t size = 64;
  while (size < 2 * expected) {
    size *= 2;
  }
  slots_.assign(size, kEmpty);
  mask_ = size - 1;
}

bool CellSet::insert(int32_t cx, int32_t cy, int32_t cz) {
  // 21 bits per axis: cells of a few centimetres cover tens of kilometres.
  const uint64_t key = ((static_cast<uint64_t>(cx) & 0x1fffff) << 42) |
                       ((static_cast<uint64_t>(cy) & 0x1fffff) << 21) |
                       (static_cast<uint64_t>(cz) & 0x1fffff);
  const uint64_t stored = key + 1;
  for (std::size_t i = mix(key) & mask_;; i = (i + 1) & mask_) {
    if (slots_[i] == kEmpty) {
      slots_[i] = stored;
      return true;
    }
    if (slots_[i] == stored) {
      return false;
    }
  }
}

}  // namespace pelorin::perception::ground
