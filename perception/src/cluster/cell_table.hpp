#pragma once

#include <cstdint>
#include <limits>
#include <utility>
#include <vector>

namespace pelorin::perception {

// Map from a grid cell's key to the cell's index.  Open addressing with
// linear probing in a power-of-two table kept at most half full, grown by
// doubling: no division and no allocation per key, and a table the size of
// the occupied area, not of the point count, so that it stays in cache.
class CellTable {
 public:
  static constexpr uint32_t kAbsent = std::numeric_limits<uint32_t>::max();

  CellTable() { reset(1024); }

  // The index stored for `key`; stores `index` first when the key is new.
  uint32_t findOrInsert(uint64_t key, uint32_t index) {
    std::size_t slot = slotOf(key);
    if (values_[slot] != kAbsent) {
      return values_[slot];
    }
    if (2 * (size_ + 1) > values_.size()) {
      grow();
      slot = slotOf(key);
    }
    keys_[slot] = key;
    values_[slot] = index;
    ++size_;
    return index;
  }

  uint32_t find(uint64_t key) const { return values_[slotOf(key)]; }

 private:
  void reset(std::size_t capacity) {
    keys_.assign(capacity, 0);
    values_.assign(capacity, kAbsent);
    mask_ = capacity - 1;
    size_ = 0;
  }

  // The slot that holds `key`, or the empty slot where it would go.
  std::size_t slotOf(uint64_t key) const {
    std::size_t slot = spread(key) & mask_;
    while (values_[slot] != kAbsent && keys_[slot] != key) {
      slot = (slot + 1) & mask_;
    }
    return slot;
  }

  void grow() {
    std::vector<uint64_t> keys = std::move(keys_);
    std::vector<uint32_t> values = std::move(values_);
    reset(2 * values.size());
    for (std::size_t i = 0; i < values.size(); ++i) {
      if (values[i] != kAbsent) {
        const std::size_t slot = slotOf(keys[i]);
        keys_[slot] = keys[i];
        values_[slot] = values[i];
        ++size_;
      }
    }
  }

  // Neighbouring cells have neighbouring keys; mixing the bits spreads them
  // over the table (the finaliser of MurmurHash3).
  static std::size_t spread(uint64_t key) {
    key ^= key >> 33;
    key *= 0xff51afd7ed558ccdULL;
    key ^= key >> 33;
    key *= 0xc4ceb9fe1a85ec53ULL;
    key ^= key >> 33;
    return static_cast<std::size_t>(key);
  }

  std::vector<uint64_t> keys_;
  std::vector<uint32_t> values_;
  std::size_t mask_ = 0;
  std::size_t size_ = 0;
};

}  // namespace pelorin::perception
