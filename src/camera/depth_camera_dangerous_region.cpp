#include <cstdint>
#include <memory>
#include <vector>

#include <pcl/common/transforms.h>

#include "pelorin/perception/time_conversions.hpp"
#include "quorvane_object_detect/cloud_message.hpp"
#include "quorvane_object_detect/colored_cloud.hpp"
#include "quorvane_object_detect/dangerous_region.hpp"
#include "quorvane_object_detect/depth_camera.hpp"

namespace
{

using PointCloud = pcl::PointCloud<pcl::PointXYZ>;

// Report-site key of error_report_time_ (the input checks hold the others).
constexpr int kKeyNoOdomFusion = 872;

}  // namespace

// The escalator entrances of this frame join the history in "odom_fusion";
// the history, carried into the robot's current base frame, goes to the
// region worker.  The history is kept on the sampling grid and capped, so an
// afternoon beside an escalator costs no more per frame than its first minute.
void DepthCamera::cloud_motion_compensation(FrameContext & frame)
{
  if (!runsDangerousRegion(camera_id_, dangerous_use_two_camera_)) {
    return;
  }
  frame.stage = "cloud_motion_compensation";
  const std::vector<CloudInfo> & entrances = frame.dangerous_clouds;
  const double stamp = frame.frame_stamp;
  if (!entrances.empty() && debug_) {
    publishColoredCloud(entrances, dangerous_ori_region_cloud_pub_, stamp);
  }
  if (windowWithoutDetection(
      dangerous_region_detect_status_, !entrances.empty(),
      statistics_dangerous_region_detect_status_num_))
  {
    dangerous_region_history_cloud_->clear();
    QLOG_INFO("cam_{0:d}: No dangerous region habe been found, so clear history", camera_id_);
  }
  QLOG_INFO("cam_{0:d}: public escalator dangerous region start", camera_id_);
  // Most frames show no entrance: nothing has failed, the history waits.
  if (entrances.empty()) {
    QLOG_DEBUG("Failed to transform from base cloud to odom_fusion cloud");
    return;
  }

  PointCloud::Ptr frame_cloud(new PointCloud);
  for (const CloudInfo & entrance : entrances) {
    *frame_cloud += entrance.cloud;
  }
  PointCloud::Ptr odom_cloud(new PointCloud);
  if (!basePointCloudToOdomFusion(frame_cloud, odom_cloud, base_to_odom_matrix_, stamp)) {
    return;
  }
  // Newest first: where the grid or the cap drops points, the old ones go.
  *odom_cloud += *dangerous_region_history_cloud_;
  boundHistory(
    *odom_cloud,
    {cloud_para_.cloud_x_leafSize, cloud_para_.cloud_y_leafSize, cloud_para_.cloud_z_leafSize},
    kDangerousHistoryMaxPoints);
  const Eigen::Matrix4f odom_to_base = base_to_odom_matrix_.inverse();
  if (odom_cloud->empty() || odom_cloud->width == 0) {
    QLOG_ERROR("Failed to transform from odom_fusion cloud to base cloud");
    return;
  }
  PointCloud::Ptr compensated(new PointCloud);
  pcl::transformPointCloud(*odom_cloud, *compensated, odom_to_base, true);
  if (debug_) {
    const auto message_stamp = DoubleToStamp(stamp);
    dangerous_region_odom_cloud_pub_->publish(
      toCloudMessage(*odom_cloud, message_stamp, kOdomFusionFrame));
    dangerous_region_base_cloud_pub_->publish(toCloudMessage(*compensated, message_stamp));
  }
  // Nothing else holds the merged cloud: it becomes the history as it is.
  dangerous_region_history_cloud_ = odom_cloud;
  QLOG_INFO("cam_{0:d}: public escalator dangerous region end", camera_id_);
  handOverDangerousRegion(compensated, entrances.front(), stamp);
}

bool DepthCamera::basePointCloudToOdomFusion(
  const PointCloud::Ptr & base_cloud, PointCloud::Ptr & odom_cloud, Eigen::Matrix4f & base_to_odom,
  double stamp)
{
  // An "odom_fusion" tf2 has never connected is not waited for: the depth
  // callback would stand still for the lookup's timeout, on a stopped clock for ever.
  if (!tf2Connects(
      kOdomFusionFrame, kBaseFrame, kKeyNoOdomFusion, "escalator regions are not updated"))
  {
    return false;
  }
  const rclcpp::Time time(static_cast<int64_t>(stamp * 1e9), RCL_SYSTEM_TIME);
  if (!getTransformMatrix(kOdomFusionFrame, kBaseFrame, time, base_to_odom)) {
    QLOG_ERROR("Failed to lookup transform from {} to {}", kBaseFrame, kOdomFusionFrame);
    return false;
  }
  base_cloud->width = static_cast<uint32_t>(base_cloud->size());
  base_cloud->height = 1;
  if (base_cloud->empty()) {
    QLOG_ERROR("Failed to transform from base cloud to odom_fusion cloud");
    return false;
  }
  pcl::transformPointCloud(*base_cloud, *odom_cloud, base_to_odom, true);
  return true;
}

// A busy worker keeps the previous frame's region; this frame's is dropped
// rather than held up in the depth callback.
void DepthCamera::handOverDangerousRegion(
  const PointCloud::Ptr & cloud, const CloudInfo & first, double stamp)
{
  PointCloud::Ptr lethal_region(new PointCloud);
  PointCloud::Ptr dangerous_region(new PointCloud);
  tryHandOver(
    {dangerous_mutex_, dangerous_cv_, dangerous_thread_idle_, stop_workers_}, [&] {
      lethal_region_input_ =
      {cloud, lethal_region, lethal_dilate_offset_, stamp, first.has_bbox, first.label};
      dangerous_region_input_ =
      {cloud, dangerous_region, dangerous_dilate_offset_, stamp, first.has_bbox, first.label};
    });
}
