#include "voxel_labels.hpp"

#include <cmath>
#include <deque>
#include <unordered_map>

namespace pelorin
{
namespace perception
{
namespace
{

constexpr int kCellBits = 21;
constexpr int64_t kCellOffset = int64_t{1} << (kCellBits - 1);
constexpr int64_t kCellMask = (int64_t{1} << kCellBits) - 1;

int64_t Pack(int64_t ix, int64_t iy, int64_t iz)
{
  return ((ix + kCellOffset) << (2 * kCellBits)) | ((iy + kCellOffset) << kCellBits) |
         (iz + kCellOffset);
}

void Unpack(int64_t key, int64_t& ix, int64_t& iy, int64_t& iz)
{
  ix = ((key >> (2 * kCellBits)) & kCellMask) - kCellOffset;
  iy = ((key >> kCellBits) & kCellMask) - kCellOffset;
  iz = (key & kCellMask) - kCellOffset;
}

bool CellIndex(float coordinate, float voxel_size, int64_t& index)
{
  const double cell = std::floor(static_cast<double>(coordinate) / voxel_size);
  if (!std::isfinite(cell) || cell < -static_cast<double>(kCellOffset) ||
      cell >= static_cast<double>(kCellOffset)) {
    return false;
  }
  index = static_cast<int64_t>(cell);
  return true;
}

struct Cell
{
  int points = 0;
  int moving = 0;
  int seed_group = -1;   // connected group of candidate cells
  int grow_steps = -1;   // cells from the nearest seed, -1 when not reached
};

template<typename Visit>
void ForEachNeighbour(int64_t key, Visit&& visit)
{
  int64_t ix = 0;
  int64_t iy = 0;
  int64_t iz = 0;
  Unpack(key, ix, iy, iz);
  for (int64_t dx = -1; dx <= 1; ++dx) {
    for (int64_t dy = -1; dy <= 1; ++dy) {
      for (int64_t dz = -1; dz <= 1; ++dz) {
        const int64_t nx = ix + dx;
        const int64_t ny = iy + dy;
        const int64_t nz = iz + dz;
        if ((dx == 0 && dy == 0 && dz == 0) || nx < -kCellOffset || nx >= kCellOffset ||
            ny < -kCellOffset || ny >= kCellOffset || nz < -kCellOffset || nz >= kCellOffset) {
          continue;
        }
        visit(Pack(nx, ny, nz));
      }
    }
  }
}

}  // namespace

bool VoxelKeyOf(const pcl::PointXYZ& point, float voxel_size, int64_t& key)
{
  int64_t ix = 0;
  int64_t iy = 0;
  int64_t iz = 0;
  if (!CellIndex(point.x, voxel_size, ix) || !CellIndex(point.y, voxel_size, iy) ||
      !CellIndex(point.z, voxel_size, iz)) {
    return false;
  }
  key = Pack(ix, iy, iz);
  return true;
}

std::unordered_set<int64_t> LabelVoxels(const pcl::PointCloud<pcl::PointXYZ>& cloud,
                                        const std::vector<uint8_t>& point_moving,
                                        const DynamicDetectorParams& params)
{
  std::unordered_map<int64_t, Cell> cells;
  cells.reserve(cloud.size() / 2 + 1);
  for (std::size_t i = 0; i < cloud.size(); ++i) {
    int64_t key = 0;
    if (!VoxelKeyOf(cloud[i], params.voxel_size, key)) {
      continue;
    }
    Cell& cell = cells[key];
    ++cell.points;
    cell.moving += (i < point_moving.size() && point_moving[i]) ? 1 : 0;
  }

  auto is_candidate = [&params](const Cell& cell) {
    return cell.moving >= params.min_moving_points_per_voxel &&
           static_cast<float>(cell.moving) >=
           params.min_moving_fraction_per_voxel * static_cast<float>(cell.points);
  };

  // Connected groups of candidates; only groups of sufficient count seed the growth,
  // which keeps isolated noisy cells (flying pixels, edges) from spreading.
  std::deque<int64_t> grow_queue;
  std::vector<int64_t> group;
  int group_count = 0;
  for (auto& entry : cells) {
    if (entry.second.seed_group >= 0 || !is_candidate(entry.second)) {
      continue;
    }
    group.clear();
    group.push_back(entry.first);
    entry.second.seed_group = group_count;
    for (std::size_t g = 0; g < group.size(); ++g) {
      ForEachNeighbour(group[g], [&](int64_t neighbour) {
          auto found = cells.find(neighbour);
          if (found != cells.end() && found->second.seed_group < 0 && is_candidate(found->second)) {
            found->second.seed_group = group_count;
            group.push_back(neighbour);
          }
        });
    }
    ++group_count;
    if (static_cast<int>(group.size()) >= params.min_moving_voxels_per_cluster) {
      for (int64_t key : group) {
        cells[key].grow_steps = 0;
        grow_queue.push_back(key);
      }
    }
  }

  const int max_steps = static_cast<int>(std::floor(params.grow_distance / params.voxel_size));
  while (!grow_queue.empty()) {
    const int64_t key = grow_queue.front();
    grow_queue.pop_front();
    const int steps = cells[key].grow_steps;
    if (steps >= max_steps) {
      continue;
    }
    ForEachNeighbour(key, [&](int64_t neighbour) {
        auto found = cells.find(neighbour);
        if (found != cells.end() && found->second.grow_steps < 0) {
          found->second.grow_steps = steps + 1;
          grow_queue.push_back(neighbour);
        }
      });
  }

  std::unordered_set<int64_t> moving_cells;
  for (const auto& entry : cells) {
    if (entry.second.grow_steps >= 0) {
      moving_cells.insert(entry.first);
    }
  }
  return moving_cells;
}

}  // namespace perception
}  // namespace pelorin
