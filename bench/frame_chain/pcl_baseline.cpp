#include "pcl_baseline.hpp"

#include <pcl/ModelCoefficients.h>
#include <pcl/common/transforms.h>
#include <pcl/search/kdtree.h>

#include "quorvane_object_detect/cloud.hpp"

namespace frame_chain
{
namespace
{

// Floor band of the plane, as wide as our ground band.
constexpr float kPlaneDistance = 0.02F;
constexpr int kRansacIterations = 200;
constexpr float kClusterTolerance = 0.05F;
// As many voxels as a cell of our grid needs.
constexpr int kMinClusterPoints = 3;

}  // namespace

PclBaseline::PclBaseline(const FrameInput & input)
: ceiling_(input.ground.max_obstacle_height),
  cam_to_base_(input.camera.base_from_optical.matrix())
{
  const CloudPara node;
  voxel_grid_.setLeafSize(node.cloud_x_leafSize, node.cloud_y_leafSize, node.cloud_z_leafSize);
  voxel_grid_.setMinimumPointsNumberPerVoxel(static_cast<unsigned int>(node.cloud_min_point));
  ransac_.setModelType(pcl::SACMODEL_PLANE);
  ransac_.setMethodType(pcl::SAC_RANSAC);
  ransac_.setDistanceThreshold(kPlaneDistance);
  ransac_.setMaxIterations(kRansacIterations);
  ransac_.setOptimizeCoefficients(true);
  euclid_.setSearchMethod(std::make_shared<pcl::search::KdTree<pcl::PointXYZ>>());
  euclid_.setClusterTolerance(kClusterTolerance);
  euclid_.setMinClusterSize(kMinClusterPoints);
}

void PclBaseline::run(const std::shared_ptr<const Points> & depth_cloud)
{
  voxel_grid_.setInputCloud(depth_cloud);
  voxel_grid_.filter(*sampled);
  pcl::transformPointCloud(*sampled, *base, cam_to_base_, true);
  groundAndClusters(base);
}

void PclBaseline::groundAndClusters(const std::shared_ptr<const Points> & cloud)
{
  pcl::PointIndices floor;
  pcl::ModelCoefficients plane;
  ransac_.setInputCloud(cloud);
  ransac_.segment(floor, plane);
  verdicts.assign(cloud->size(), scene::Verdict::kNeither);
  for (const int i : floor.indices) {
    verdicts[static_cast<std::size_t>(i)] = scene::Verdict::kGround;
  }
  // Heights above the plane with its normal turned up; without a plane,
  // above z = 0.
  Eigen::Vector4f up = Eigen::Vector4f::UnitZ();
  if (plane.values.size() == 4) {
    up = Eigen::Vector4f(plane.values.data());
    up *= up.z() < 0.0F ? -1.0F : 1.0F;
  }
  obstacle_->clear();
  for (std::size_t i = 0; i < cloud->size(); ++i) {
    const pcl::PointXYZ & p = cloud->points[i];
    const float height = up.dot(Eigen::Vector4f(p.x, p.y, p.z, 1.0F));
    if (verdicts[i] == scene::Verdict::kNeither && height > kPlaneDistance && height <= ceiling_) {
      verdicts[i] = scene::Verdict::kObstacle;
      obstacle_->push_back(static_cast<int>(i));
    }
  }
  euclid_.setInputCloud(cloud);
  euclid_.setIndices(obstacle_);
  clusters.clear();  // extract appends
  euclid_.extract(clusters);
}

}  // namespace frame_chain
