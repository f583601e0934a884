#include <memory>

#include <Eigen/Geometry>
#include <pcl/common/transforms.h>

#include "pelorin/perception/time_conversions.hpp"
#include "quorvane_object_detect/cloud_message.hpp"
#include "quorvane_object_detect/depth_camera.hpp"
#include "quorvane_object_detect/depth_image.hpp"
#include "quorvane_object_detect/fov_outline.hpp"
#include "quorvane_object_detect/pose_of_matrix.hpp"

#define PROCESS_LOG(level, ...) QLOG_AS("process", level, __VA_ARGS__)

namespace
{

constexpr std::size_t kMinCloudForSampling = 500;

}  // namespace

// Depth to cloud, voxel sampling, camera to base, ground removal, clustering,
// the merge of the kept-ground boxes and the moving-object update.  False
// when the frame has no sampled point: nothing after this stage runs then.
bool DepthCamera::geometricChain(FrameContext & frame)
{
  StageTimes & t = frame.times;
  t.chain_start = StageTimes::now();
  frame.stage = "depth_to_cloud";
  BboxInfo whole_image;
  whole_image.x2 = image_width_;
  whole_image.y2 = image_height_;
  cloud_->depthToCloud(frame.depth, intrinsics_, whole_image, depth_cloud_, sample_kernel_size_);
  if (debug_) {
    PROCESS_LOG(spdlog::level::debug, "depth to cloud get points = {}", depth_cloud_->size());
  }
  t.depth_to_cloud = StageTimes::now();

  frame.stage = "sample_cloud";
  sampled_cloud_->clear();
  if (depth_cloud_->size() > kMinCloudForSampling) {
    voxel_filter_->filter(*depth_cloud_, *sampled_cloud_);
  }
  t.sample_cloud = StageTimes::now();
  if (sampled_cloud_->empty() || sampled_cloud_->width == 0) {
    PROCESS_LOG(spdlog::level::debug, "cam_{0:d} encounter an empty depth cloud", camera_id_);
    frame.cloud_empty = true;
    return false;
  }
  frame.cloud_empty = false;

  frame.stage = "cam_to_base";
  pcl::transformPointCloud(*sampled_cloud_, *base_cloud_, cam_to_base_matrix_, true);
  t.cam_to_base = StageTimes::now();

  frame.stage = "remove_ground";
  refreshCameraFrame(*base_cloud_);
  const auto stamp = DoubleToStamp(frame.frame_stamp);
  if (debug_) {
    base_cloud_pub_->publish(toCloudMessage(*base_cloud_, stamp));
  }
  const auto & remove_ground = cloud_->remove_ground_;
  remove_ground->PreprocessCloud(base_cloud_);
  remove_ground->RemoveGround(base_cloud_, obstacle_cloud_, ground_cloud_);
  PROCESS_LOG(
    spdlog::level::debug,
    "base_cloud size={0:d}, obstacleCloud size={1:d}, groundCloud size={2:d} of the cam_{3:d}",
    base_cloud_->size(), obstacle_cloud_->size(), ground_cloud_->size(), camera_id_);
  t.remove_ground = StageTimes::now();

  frame.stage = "cloud_cluster";
  if (debug_) {
    publishChainDebugClouds(frame);
  }
  int count = 0;
  frame.clusters.clear();
  cloud_->cloud_cluster_->obstacleCluster(obstacle_cloud_, count, frame.clusters);
  PROCESS_LOG(
    spdlog::level::debug, "numCluster = {0:d} of the cam_{1:d}", count, camera_id_);
  t.cloud_cluster = StageTimes::now();

  frame.stage = "dynamic_detector";
  if (debug_) {
    publishClusterCloud(frame);
  }
  // The kept-ground boxes reach the moving-object detector, not the clusters.
  for (const CloudInfo & box : frame.no_remove_ground_clouds) {
    *obstacle_cloud_ += box.cloud;
  }
  dynamicDetectorStage(frame);
  t.dynamic_detector = StageTimes::now();
  return true;
}

// Keeps the camera's entry in the camera-frame table current.
void DepthCamera::refreshCameraFrame(const pcl::PointCloud<pcl::PointXYZ> & base)
{
  const Eigen::Vector3f origin = cam_to_base_matrix_.block<3, 1>(0, 3);
  const std::shared_ptr<CameraFrame> entry = installCameraFrame(camera_id_, origin);
  FovPoints points;
  if (entry && fovOutline(entry->origin, base, points)) {
    entry->setFovPoints(points);
  }
}

void DepthCamera::publishChainDebugClouds(const FrameContext & frame)
{
  const auto stamp = DoubleToStamp(frame.frame_stamp);
  obstacle_cloud_pub_->publish(toCloudMessage(*obstacle_cloud_, stamp));
  ground_cloud_pub_->publish(toCloudMessage(*ground_cloud_, stamp));
  publishGroundLineMarkers();
  // Outliers are stamped when they go out, not with the frame.
  const auto outliers = cloud_->remove_ground_->GetOutlierCloud();
  if (outliers) {
    outlier_points_pub_->publish(
      toCloudMessage(*outliers, rclcpp::Clock(RCL_SYSTEM_TIME).now()));
  }
}

// Every cluster in its palette colour, cluster by cluster.
void DepthCamera::publishClusterCloud(const FrameContext & frame)
{
  pcl::PointCloud<pcl::PointXYZRGB> coloured;
  for (std::size_t i = 0; i < frame.clusters.size(); ++i) {
    const std::vector<int> & colour = kColorPalette20[i % kColorPalette20.size()];
    for (const pcl::PointXYZ & p : frame.clusters[i].points) {
      pcl::PointXYZRGB point(
        static_cast<uint8_t>(colour[0]), static_cast<uint8_t>(colour[1]),
        static_cast<uint8_t>(colour[2]));
      point.x = p.x;
      point.y = p.y;
      point.z = p.z;
      coloured.push_back(point);
    }
  }
  cluster_cloud_pub_->publish(toCloudMessage(coloured, DoubleToStamp(frame.frame_stamp)));
}

// The obstacles with the depth image (metres) and the robot's pose in "odom"
// at the depth stamp.  Without that pose the detector skips the frame.
void DepthCamera::dynamicDetectorStage(const FrameContext & frame)
{
  Eigen::Matrix4f base_to_odom;
  const rclcpp::Time depth_time(frame.depth->header.stamp, RCL_ROS_TIME);
  if (!getTransformMatrix("odom", kBaseFrame, depth_time, base_to_odom)) {
    return;
  }
  dynamic_cloud_detector_->Update(
    obstacle_cloud_, depthInMetres(frame.depth), poseOfMatrix(base_to_odom));
}
