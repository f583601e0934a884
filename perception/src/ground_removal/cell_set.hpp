#pragma once

#include <cstdint>
#include <vector>

namespace pelorin::perception::ground {

// Set of 3-D cell numbers with open addressing; its table is kept between
// frames so thinning a cloud allocates nothing once warmed up.
class CellSet {
 public:
  // Empties the set and makes room for `expected` insertions.
  void reset(std::size_t expected);
  // True when the cell was not in the set yet (it is now).
  bool insert(int32_t cx, int32_t cy, int32_t cz);

 private:
  std::vector<uint64_t> slots_;  // kEmpty or key + 1
  std::size_t mask_ = 0;
};

}  // namespace pelorin::perception::ground
