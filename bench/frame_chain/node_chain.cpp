#include "node_chain.hpp"

#include <pcl/common/transforms.h>
#include <pcl/filters/voxel_grid.h>

#include "geometry_msgs/msg/pose.hpp"
#include "quorvane_object_detect/camera_config.hpp"
#include "quorvane_object_detect/depth_image.hpp"

namespace frame_chain
{
namespace
{

namespace config = quorvane::camera_config;
using pelorin::perception::RemoveGroundLineFit;

constexpr int kCameraId = 1;
// sample_kernel_size
constexpr int kStride = 2;
// The node samples only clouds larger than this.
constexpr std::size_t kMinCloudForSampling = 500;

CloudPara cloudPara(const FrameInput & input)
{
  CloudPara para;
  para.depth_max = input.camera.max_depth;
  return para;
}

YAML::Node detectorSection()
{
  const config::ConfigFile file(
    "dynamic cloud detector file",
    config::packageConfigPath("default_params/dynamic_cloud_detector.yaml"));
  return config::detectorSection(file, kCameraId);
}

scene::Verdict verdictOf(RemoveGroundLineFit::PointClass point)
{
  switch (point) {
    case RemoveGroundLineFit::PointClass::kGround:
      return scene::Verdict::kGround;
    case RemoveGroundLineFit::PointClass::kObstacle:
      return scene::Verdict::kObstacle;
    default:
      return scene::Verdict::kNeither;
  }
}

}  // namespace

NodeChain::NodeChain(const FrameInput & frame)
: input(frame),
  detector(detectorSection()),
  processor_(
    cloudPara(frame),
    std::make_shared<pelorin::perception::CloudCluster>(
      config::readCloudClusterFile(config::packageConfigPath("point_cloud_cluster.yaml"))),
    std::make_shared<RemoveGroundLineFit>(frame.ground)),
  voxel_filter_(
    processor_.cloud_para_.cloud_x_leafSize, processor_.cloud_para_.cloud_y_leafSize,
    processor_.cloud_para_.cloud_z_leafSize,
    static_cast<unsigned int>(processor_.cloud_para_.cloud_min_point)),
  cam_to_base_(frame.camera.base_from_optical.matrix())
{
  const scene::Intrinsics & k = frame.camera.intrinsics;
  detector.Init(cam_to_base_.inverse(), k.K(), k.width, k.height, frame.camera.max_depth);
  for (const auto & earlier : frame.history) {
    depth_ = earlier;
    run(kNodeSampler, true);
  }
  depth_ = frame.depth;
}

void NodeChain::depthToCloud()
{
  const scene::Intrinsics & k = input.camera.intrinsics;
  BboxInfo whole_image;
  whole_image.x2 = k.width;
  whole_image.y2 = k.height;
  processor_.depthToCloud(depth_, {k.fx, k.fy, k.cx, k.cy}, whole_image, depth_cloud, kStride);
}

void NodeChain::sample(Sampler how)
{
  sampled->clear();
  if (depth_cloud->size() <= kMinCloudForSampling) {
    return;
  }
  if (how == Sampler::kVoxelGridFilter) {
    voxel_filter_.filter(*depth_cloud, *sampled);
    return;
  }
  const CloudPara & para = processor_.cloud_para_;
  pcl::VoxelGrid<pcl::PointXYZ> voxel_grid;
  voxel_grid.setInputCloud(depth_cloud);
  voxel_grid.setLeafSize(para.cloud_x_leafSize, para.cloud_y_leafSize, para.cloud_z_leafSize);
  voxel_grid.setMinimumPointsNumberPerVoxel(static_cast<unsigned int>(para.cloud_min_point));
  voxel_grid.filter(*sampled);
}

void NodeChain::toBase()
{
  pcl::transformPointCloud(*sampled, *base, cam_to_base_, true);
}

void NodeChain::removeGround()
{
  processor_.remove_ground_->PreprocessCloud(base);
  processor_.remove_ground_->RemoveGround(base, obstacle, ground);
}

void NodeChain::cluster()
{
  int count = 0;
  processor_.cloud_cluster_->obstacleCluster(obstacle, count, clusters);
}

void NodeChain::detectMotion()
{
  // The robot stands at the odom origin.
  detector.Update(obstacle, depthInMetres(depth_), geometry_msgs::msg::Pose());
}

void NodeChain::run(Sampler how, bool motion)
{
  depthToCloud();
  sample(how);
  if (sampled->empty()) {
    return;
  }
  toBase();
  removeGround();
  cluster();
  if (motion) {
    detectMotion();
  }
}

Verdicts NodeChain::verdicts(const Points & before)
{
  auto cleaned = std::make_shared<Points>(before);
  processor_.remove_ground_->PreprocessCloud(cleaned);
  std::vector<RemoveGroundLineFit::PointClass> classes;
  processor_.remove_ground_->Classify(*cleaned, classes);
  // Cleaning drops points and keeps the order of the rest.
  Verdicts out(before.size(), scene::Verdict::kNeither);
  std::size_t kept = 0;
  for (std::size_t i = 0; i < before.size() && kept < cleaned->size(); ++i) {
    if (before.points[i].getVector3fMap() == cleaned->points[kept].getVector3fMap()) {
      out[i] = verdictOf(classes[kept++]);
    }
  }
  return out;
}

}  // namespace frame_chain
