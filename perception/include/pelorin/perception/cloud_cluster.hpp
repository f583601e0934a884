#pragma once

#include <vector>

#include <pcl/point_cloud.h>
#include <pcl/point_types.h>

#include "pelorin/perception/records.hpp"

namespace pelorin::perception {

// Obstacle clustering on a 2-D occupancy grid over x and y.
//
// Points fall into square cells of edge grid_step.  A cell is occupied when it
// holds at least grid_th points; the points of other cells are noise and are
// dropped.  Two occupied cells belong to the same cluster when the
// grid_kernelSize x grid_kernelSize windows centred on them overlap, that is
// when their columns and their rows both differ by less than grid_kernelSize
// (with 3: up to one empty cell between them); clusters grow transitively.  The work is linear in the number of points (a hash of
// the occupied cells, no search tree), and no memory is sized by the extent
// of the cloud.  Points with a non-finite coordinate, or so far out that their
// cell number does not fit the grid's index range, are skipped.
class CloudCluster {
 public:
  // Largest accepted grid_kernelSize: every occupied cell looks at about
  // 2 * kernel * kernel neighbours, so the kernel bounds the cost per cell.
  static constexpr int kMaxKernelSize = 31;

  // Throws std::invalid_argument for a grid_step that is not a positive
  // finite number and for a grid_kernelSize outside 1 .. kMaxKernelSize.
  // grid_th below 1 counts every cell that holds a point.
  explicit CloudCluster(const CloudClusterPara& para);

  // Replaces `clusters` by one cloud per cluster and sets `count` to their
  // number.  Clusters come in the order of their first point in the input;
  // inside a cluster the points keep the input order.  Each cluster carries
  // the input's header, height 1 and width = its point count.  A null or
  // empty cloud gives no cluster.
  void obstacleCluster(pcl::PointCloud<pcl::PointXYZ>::ConstPtr cloud, int& count,
                       std::vector<pcl::PointCloud<pcl::PointXYZ>>& clusters) const;

 private:
  CloudClusterPara para_;
};

}  // namespace pelorin::perception
