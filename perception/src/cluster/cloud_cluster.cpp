#include "pelorin/perception/cloud_cluster.hpp"

#include <cmath>
#include <cstdint>
#include <stdexcept>
#include <string>

#include "cell_table.hpp"
#include "disjoint_sets.hpp"

namespace pelorin::perception {
namespace {

// Cell numbers stay within +-2^30 so that a neighbour's number, up to a
// kernel further, still fits an int32.
constexpr double kMaxCellNumber = 1073741824.0;

struct Cell {
  int32_t column;
  int32_t row;
  uint32_t points;
};

uint64_t cellKey(int32_t column, int32_t row) {
  return (static_cast<uint64_t>(static_cast<uint32_t>(column)) << 32) |
         static_cast<uint32_t>(row);
}

bool cellNumber(float coordinate, double step, int32_t& number) {
  const double cell = std::floor(static_cast<double>(coordinate) / step);
  if (!(std::fabs(cell) <= kMaxCellNumber)) {  // also false for NaN and inf
    return false;
  }
  number = static_cast<int32_t>(cell);
  return true;
}

}  // namespace

CloudCluster::CloudCluster(const CloudClusterPara& para) : para_(para) {
  if (!std::isfinite(para.grid_step) || para.grid_step <= 0.0f) {
    throw std::invalid_argument("CloudCluster: grid_step must be a positive finite number, got " +
                                std::to_string(para.grid_step));
  }
  if (para.grid_kernelSize < 1 || para.grid_kernelSize > kMaxKernelSize) {
    throw std::invalid_argument("CloudCluster: grid_kernelSize must lie in 1.." +
                                std::to_string(kMaxKernelSize) + ", got " +
                                std::to_string(para.grid_kernelSize));
  }
}

void CloudCluster::obstacleCluster(pcl::PointCloud<pcl::PointXYZ>::ConstPtr cloud, int& count,
                                   std::vector<pcl::PointCloud<pcl::PointXYZ>>& clusters) const {
  clusters.clear();
  count = 0;
  if (!cloud || cloud->empty()) {
    return;
  }
  const pcl::PointCloud<pcl::PointXYZ>& points = *cloud;
  const double step = para_.grid_step;
  const uint32_t min_points = para_.grid_th < 1 ? 1u : static_cast<uint32_t>(para_.grid_th);
  const int32_t reach = para_.grid_kernelSize - 1;  // windows of two cells overlap

  // Cell of every point (-1: skipped) and the points per cell.
  constexpr int32_t kNoCell = -1;
  std::vector<int32_t> cell_of_point(points.size(), kNoCell);
  std::vector<Cell> cells;
  CellTable cell_by_key;
  // Clouds from depth images and voxel grids come in scan order, so a point
  // often lies in the cell of the point before it.
  uint64_t previous_key = 0;
  uint32_t previous_cell = CellTable::kAbsent;
  for (std::size_t i = 0; i < points.size(); ++i) {
    int32_t column = 0;
    int32_t row = 0;
    if (!std::isfinite(points[i].z) || !cellNumber(points[i].x, step, column) ||
        !cellNumber(points[i].y, step, row)) {
      continue;
    }
    const uint64_t key = cellKey(column, row);
    if (previous_cell == CellTable::kAbsent || key != previous_key) {
      previous_key = key;
      previous_cell = cell_by_key.findOrInsert(key, static_cast<uint32_t>(cells.size()));
      if (previous_cell == cells.size()) {
        cells.push_back({column, row, 0});
      }
    }
    ++cells[previous_cell].points;
    cell_of_point[i] = static_cast<int32_t>(previous_cell);
  }
  auto occupied = [&](uint32_t cell) { return cells[cell].points >= min_points; };

  // Join occupied cells within reach.  Each pair is looked at once: only the
  // half of the neighbourhood that lies "after" the cell.
  DisjointSets sets(cells.size());
  for (uint32_t cell = 0; cell < cells.size(); ++cell) {
    if (!occupied(cell)) {
      continue;
    }
    for (int32_t dc = 0; dc <= reach; ++dc) {
      for (int32_t dr = dc == 0 ? 1 : -reach; dr <= reach; ++dr) {
        const uint32_t neighbour = cell_by_key.find(cellKey(cells[cell].column + dc, cells[cell].row + dr));
        if (neighbour != CellTable::kAbsent && occupied(neighbour)) {
          sets.unite(cell, neighbour);
        }
      }
    }
  }

  // Number the clusters by their first point, size them, then fill them.
  constexpr int32_t kNoCluster = -1;
  std::vector<int32_t> cluster_of_root(cells.size(), kNoCluster);
  for (const int32_t cell : cell_of_point) {
    if (cell == kNoCell || !occupied(static_cast<uint32_t>(cell))) {
      continue;
    }
    int32_t& cluster = cluster_of_root[sets.find(static_cast<uint32_t>(cell))];
    if (cluster == kNoCluster) {
      cluster = static_cast<int32_t>(clusters.size());
      clusters.emplace_back();
    }
  }
  std::vector<std::size_t> cluster_sizes(clusters.size(), 0);
  for (uint32_t cell = 0; cell < cells.size(); ++cell) {
    if (occupied(cell)) {
      cluster_sizes[static_cast<std::size_t>(cluster_of_root[sets.find(cell)])] += cells[cell].points;
    }
  }
  for (std::size_t c = 0; c < clusters.size(); ++c) {
    clusters[c].points.reserve(cluster_sizes[c]);
  }
  for (std::size_t i = 0; i < points.size(); ++i) {
    const int32_t cell = cell_of_point[i];
    if (cell == kNoCell || !occupied(static_cast<uint32_t>(cell))) {
      continue;
    }
    clusters[static_cast<std::size_t>(cluster_of_root[sets.find(static_cast<uint32_t>(cell))])]
        .points.push_back(points[i]);
  }
  for (pcl::PointCloud<pcl::PointXYZ>& cluster : clusters) {
    cluster.header = points.header;
    cluster.width = static_cast<uint32_t>(cluster.points.size());
    cluster.height = 1;
    cluster.is_dense = true;  // non-finite points were skipped
  }
  count = static_cast<int>(clusters.size());
}

}  // namespace pelorin::perception
