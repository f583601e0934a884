#pragma once

#include <cstdint>
#include <numeric>
#include <vector>

namespace pelorin::perception {

// Union-find over the indices 0 .. size - 1, with path halving.  The smaller
// index becomes the root, so roots do not depend on the order of unions.
class DisjointSets {
 public:
  explicit DisjointSets(std::size_t size) : parent_(size) {
    std::iota(parent_.begin(), parent_.end(), 0u);
  }

  uint32_t find(uint32_t item) {
    while (parent_[item] != item) {
      parent_[item] = parent_[parent_[item]];
      item = parent_[item];
    }
    return item;
  }

  void unite(uint32_t a, uint32_t b) {
    a = find(a);
    b = find(b);
    if (a < b) {
      parent_[b] = a;
    } else if (b < a) {
      parent_[a] = b;
    }
  }

 private:
  std::vector<uint32_t> parent_;
};

}  // namespace pelorin::perception
