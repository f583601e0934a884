#pragma once

#include <memory>
#include <vector>

#include <Eigen/Core>

#include "frame_input.hpp"
#include "pelorin/perception/dynamic_cloud_detector.hpp"
#include "pelorin/perception/voxel_grid_filter.hpp"
#include "quorvane_object_detect/cloud.hpp"

// The node's geometric chain of one depth frame, stage by stage, on the
// node's own objects with its default settings: what DepthCamera runs
// between its depth callback and the label assignment, without the topics.
namespace frame_chain
{

// Voxel sampling with our filter, or with a pcl::VoxelGrid made anew for
// every frame as the node sampled before it had the filter.
enum class Sampler { kPclVoxelGrid, kVoxelGridFilter };
constexpr Sampler kNodeSampler = Sampler::kVoxelGridFilter;

class NodeChain
{
public:
  // The detector has seen the input's history once this returns.
  explicit NodeChain(const FrameInput & input);

  void depthToCloud();      // depth -> depth_cloud
  void sample(Sampler how);  // depth_cloud -> sampled
  void toBase();            // sampled -> base
  void removeGround();      // base (cleaned in place) -> obstacle, ground
  void cluster();           // obstacle -> clusters
  void detectMotion();      // obstacle and depth -> the detector's labels
  // Stages depth to cloud to clustering, then the detector when `motion`.
  void run(Sampler how, bool motion);

  // What ground removal makes of each point of a base cloud before it is
  // cleaned; the points cleaning drops are neither ground nor obstacle.
  Verdicts verdicts(const Points & base);

  const FrameInput & input;
  std::shared_ptr<Points> depth_cloud{new Points};
  std::shared_ptr<Points> sampled{new Points};
  std::shared_ptr<Points> base{new Points};
  std::shared_ptr<Points> obstacle{new Points};
  std::shared_ptr<Points> ground{new Points};
  std::vector<Points> clusters;
  pelorin::perception::DynamicCloudDetector detector;

private:
  ::Cloud processor_;
  pelorin::perception::VoxelGridFilter voxel_filter_;
  Eigen::Matrix4f cam_to_base_;
  sensor_msgs::msg::Image::ConstSharedPtr depth_;
};

}  // namespace frame_chain
