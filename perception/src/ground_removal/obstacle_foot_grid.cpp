#include "obstacle_foot_grid.hpp"

#include <algorithm>
#include <cmath>

namespace pelorin::perception::ground {
namespace {

// The index is a dense grid over the obstacles' bounding box; past this many
// cells it grows its cells instead, so memory stays bounded for any cloud.
constexpr int64_t kMaxCells = 1 << 22;

}  // namespace

void ObstacleFootGrid::reset(float reach, float rise) {
  reach_ = reach;
  rise_ = rise;
  points_.clear();
  columns_ = rows_ = 0;
}

void ObstacleFootGrid::addObstacle(float x, float y, float range, float height) {
  points_.push_back({x, y, range, height});
}

bool ObstacleFootGrid::cellOf(float x, float y, int64_t& cx, int64_t& cy) const {
  const float fx = std::floor((x - min_x_) / cell_);
  const float fy = std::floor((y - min_y_) / cell_);
  if (!(fx >= 0.0f && fy >= 0.0f && fx < static_cast<float>(columns_) &&
        fy < static_cast<float>(rows_))) {
    return false;
  }
  cx = static_cast<int64_t>(fx);
  cy = static_cast<int64_t>(fy);
  return true;
}

void ObstacleFootGrid::index() {
  columns_ = rows_ = 0;
  if (points_.empty() || !(reach_ > 0.0f)) {
    return;
  }
  float max_x = points_[0].x, max_y = points_[0].y;
  min_x_ = max_x;
  min_y_ = max_y;
  for (const Entry& e : points_) {
    min_x_ = std::min(min_x_, e.x);
    min_y_ = std::min(min_y_, e.y);
    max_x = std::max(max_x, e.x);
    max_y = std::max(max_y, e.y);
  }
  const double width = static_cast<double>(max_x) - min_x_;
  const double depth = static_cast<double>(max_y) - min_y_;
  double cell = reach_;
  while ((width / cell + 1.0) * (depth / cell + 1.0) > static_cast<double>(kMaxCells)) {
    cell *= 2.0;
  }
  cell_ = static_cast<float>(cell);
  columns_ = static_cast<int64_t>(width / cell) + 1;
  rows_ = static_cast<int64_t>(depth / cell) + 1;

  // Counting sort of the points by cell.
  cell_start_.assign(static_cast<std::size_t>(columns_ * rows_ + 1), 0u);
  int64_t cx = 0, cy = 0;
  for (const Entry& e : points_) {
    if (cellOf(e.x, e.y, cx, cy)) {
      ++cell_start_[static_cast<std::size_t>(cy * columns_ + cx + 1)];
    }
  }
  for (std::size_t i = 1; i < cell_start_.size(); ++i) {
    cell_start_[i] += cell_start_[i - 1];
  }
  sorted_.resize(cell_start_.back());
  std::vector<uint32_t>& next = cell_start_;  // advanced while filling, undone below
  for (const Entry& e : points_) {
    if (cellOf(e.x, e.y, cx, cy)) {
      sorted_[next[static_cast<std::size_t>(cy * columns_ + cx)]++] = e;
    }
  }
  // Each start now holds the next cell's start: shift back by one cell.
  for (std::size_t i = cell_start_.size() - 1; i > 0; --i) {
    cell_start_[i] = cell_start_[i - 1];
  }
  cell_start_[0] = 0;
}

bool ObstacleFootGrid::isFoot(float x, float y, float range, float height, float reach,
                              float slack) const {
  if (columns_ == 0) {
    return false;
  }
  reach = std::min(reach, reach_);
  const float reach2 = reach * reach;
  const int64_t span = static_cast<int64_t>(std::ceil(reach / cell_));
  const float fx = std::floor((x - min_x_) / cell_);
  const float fy = std::floor((y - min_y_) / cell_);
  if (!(fx >= -static_cast<float>(span) && fy >= -static_cast<float>(span) &&
        fx < static_cast<float>(columns_ + span) && fy < static_cast<float>(rows_ + span))) {
    return false;
  }
  const int64_t cx = static_cast<int64_t>(fx);
  const int64_t cy = static_cast<int64_t>(fy);
  for (int64_t j = std::max<int64_t>(0, cy - span); j <= std::min(rows_ - 1, cy + span); ++j) {
    for (int64_t i = std::max<int64_t>(0, cx - span); i <= std::min(columns_ - 1, cx + span); ++i) {
      const std::size_t cell = static_cast<std::size_t>(j * columns_ + i);
      for (uint32_t k = cell_start_[cell]; k < cell_start_[cell + 1]; ++k) {
        const Entry& q = sorted_[k];
        const float dx = q.x - x;
        const float dy = q.y - y;
        if (dx * dx + dy * dy <= reach2 && q.range <= range + slack && q.height - height <= rise_) {
          return true;
        }
      }
    }
  }
  return false;
}

}  // namespace pelorin::perception::ground
