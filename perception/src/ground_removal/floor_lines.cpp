#include "floor_lines.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

namespace pelorin::perception::ground {
namespace {

constexpr float kInf = std::numeric_limits<float>::infinity();

}  // namespace

void FloorLines::reset(const PolarGrid& grid) {
  grid_ = grid;
  const std::size_t cells = static_cast<std::size_t>(grid.segments) * grid.bins;
  line_of_cell_.assign(cells, -1);
  expected_.resize(cells);
  segment_lines_.assign(static_cast<std::size_t>(grid.segments) + 1, 0);
  stand_in_.assign(static_cast<std::size_t>(grid.segments), -1);
  lines_.clear();
}

void FloorLines::fit(const std::vector<Candidate>& candidates, const LineFitLimits& limits, float near_floor) {
  // Twice: the second round starts lines near the floor the neighbouring
  // segments found in the first, which carries the floor across shadows.
  fitAllSegments(candidates, limits, near_floor, nullptr);
  expectFromNeighbours(candidates);
  fitAllSegments(candidates, limits, near_floor, expected_.data());
  chooseStandIns();
}

void FloorLines::fitAllSegments(const std::vector<Candidate>& candidates, const LineFitLimits& limits,
                                float near_floor, const float* expected) {
  lines_.clear();
  const std::size_t bins = static_cast<std::size_t>(grid_.bins);
  for (int s = 0; s < grid_.segments; ++s) {
    segment_lines_[static_cast<std::size_t>(s)] = static_cast<int>(lines_.size());
    const std::size_t first = static_cast<std::size_t>(s) * bins;
    fitSegmentLines(&candidates[first], grid_.bins, near_floor, expected ? expected + first : nullptr,
                    limits, lines_, &line_of_cell_[first]);
  }
  segment_lines_[static_cast<std::size_t>(grid_.segments)] = static_cast<int>(lines_.size());
}

void FloorLines::expectFromNeighbours(const std::vector<Candidate>& candidates) {
  const std::size_t bins = static_cast<std::size_t>(grid_.bins);
  for (int s = 0; s < grid_.segments; ++s) {
    for (std::size_t b = 0; b < bins; ++b) {
      const std::size_t cell = static_cast<std::size_t>(s) * bins + b;
      const float r = candidates[cell].valid ? candidates[cell].range
                                             : grid_.min_range + (b + 0.5f) * grid_.bin_len;
      float sum = 0.0f;
      int count = 0;
      for (const int t : {grid_.wrap(s - 1), grid_.wrap(s + 1)}) {
        const int first = begin(t);
        const int end = begin(t + 1);
        float h = 0.0f;
        if (t != s && end > first &&
            floorHeightOnLine(&lines_[static_cast<std::size_t>(first)], end - first, r, h)) {
          sum += h;
          ++count;
        }
      }
      expected_[cell] = count > 0 ? sum / count : std::numeric_limits<float>::quiet_NaN();
    }
  }
}

void FloorLines::chooseStandIns() {
  // A segment without a line borrows the lines of its nearest neighbour.
  for (int s = 0; s < grid_.segments; ++s) {
    int& source = stand_in_[static_cast<std::size_t>(s)];
    source = -1;
    for (int d = 0; d <= grid_.segments / 2 && source < 0; ++d) {
      for (const int t : {grid_.wrap(s - d), grid_.wrap(s + d)}) {
        if (begin(t + 1) > begin(t)) {
          source = t;
          break;
        }
      }
    }
  }
}

FloorLines::SegmentFloor FloorLines::segmentFloor(int s, float range) const {
  SegmentFloor f;
  const int source = stand_in_[static_cast<std::size_t>(s)];
  if (source < 0) {
    return f;
  }
  const Line* first = &lines_[static_cast<std::size_t>(begin(source))];
  const int count = begin(source + 1) - begin(source);
  f.found = true;
  f.height = floorHeightAlong(first, count, range);
  f.front = first->range_begin;
  f.distance = source == s ? std::max({0.0f, first->range_begin - range, range - first[count - 1].range_end})
                           : kInf;
  return f;
}

void FloorLines::floorAt(float position, float range, float known, float fallback, float& height,
                         float& front) const {
  // Inside the span its segment's lines know, the floor is blended with the
  // nearer neighbour's by how far the bearing sits from the segment's middle;
  // beyond it, neighbours that know the floor there stand in (the segment
  // may lie in an obstacle's shadow).
  const int s = grid_.segmentOf(position);
  const float offset = position - static_cast<float>(s) - 0.5f;
  const float w = std::min(0.5f, std::fabs(offset));
  const SegmentFloor own = segmentFloor(s, range);
  const SegmentFloor near = segmentFloor(grid_.wrap(offset < 0.0f ? s - 1 : s + 1), range);
  const bool near_knows = near.found && near.distance <= known;
  height = fallback;
  front = kInf;
  if (own.found && own.distance <= known) {
    height = near_knows ? (1.0f - w) * own.height + w * near.height : own.height;
    front = own.front;
    return;
  }
  const SegmentFloor far = segmentFloor(grid_.wrap(offset < 0.0f ? s + 1 : s - 1), range);
  const bool far_knows = far.found && far.distance <= known;
  if (near_knows || far_knows) {
    const SegmentFloor& one = near_knows ? near : far;
    height = near_knows && far_knows ? 0.5f * (near.height + far.height) : one.height;
    front = one.front;
  } else if (own.found) {
    height = own.height;
    front = own.front;
  }
}

}  // namespace pelorin::perception::ground
