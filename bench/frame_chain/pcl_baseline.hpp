#pragma once

#include <memory>
#include <vector>

#include <Eigen/Core>
#include <pcl/PointIndices.h>
#include <pcl/filters/voxel_grid.h>
#include <pcl/segmentation/extract_clusters.h>
#include <pcl/segmentation/sac_segmentation.h>

#include "frame_input.hpp"

// The textbook PCL chain on the node's depth cloud, to measure ours against:
// pcl::VoxelGrid with the node's leaf and minimum, the node's transform, then
// a RANSAC plane as the floor and Euclidean clusters (kd-tree search) of what
// stands on it.
namespace frame_chain
{

class PclBaseline
{
public:
  explicit PclBaseline(const FrameInput & input);

  // Depth cloud -> sampled -> base -> verdicts and clusters.
  void run(const std::shared_ptr<const Points> & depth_cloud);
  // Base cloud -> verdicts and clusters: the plane's inliers are ground, the
  // points above its band up to the obstacle ceiling are obstacle.
  void groundAndClusters(const std::shared_ptr<const Points> & cloud);

  std::shared_ptr<Points> sampled{new Points};
  std::shared_ptr<Points> base{new Points};
  Verdicts verdicts;  // one per point of the last base cloud
  std::vector<pcl::PointIndices> clusters;

private:
  float ceiling_;
  Eigen::Matrix4f cam_to_base_;
  pcl::VoxelGrid<pcl::PointXYZ> voxel_grid_;
  pcl::SACSegmentation<pcl::PointXYZ> ransac_;
  pcl::EuclideanClusterExtraction<pcl::PointXYZ> euclid_;
  pcl::IndicesPtr obstacle_{new pcl::Indices};
};

}  // namespace frame_chain
