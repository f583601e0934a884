#include <chrono>
#include <vector>

#include "pelorin/perception/time_conversions.hpp"
#include "quorvane_object_detect/colored_cloud.hpp"
#include "quorvane_object_detect/dangerous_region.hpp"
#include "quorvane_object_detect/depth_camera.hpp"
#include "quorvane_object_detect/frame_context.hpp"

#define WORKER_LOG(...) QLOG_AS("dangerousMapCallback", spdlog::level::debug, __VA_ARGS__)

namespace
{

CloudInfo regionRecord(const DepthCamera::DangerousThreadInputPara & input)
{
  CloudInfo record;
  record.cloud = *input.region_cloud;
  record.label = input.label;
  record.has_bbox = input.label != 0;
  return record;
}

}  // namespace

// Body of the dangerous-region thread: inflates and publishes each handed
// frame's region until the camera stops.
void DepthCamera::dangerousMapCallback(
  DangerousThreadInputPara * lethal_input, DangerousThreadInputPara * dangerous_input)
{
  serveHandOvers(
    {dangerous_mutex_, dangerous_cv_, dangerous_thread_idle_, stop_workers_}, camera_id_,
    [&] {publishDangerousRegions(*lethal_input, *dangerous_input);});
}

// Planning reads the lethal region as a colour cloud and the dangerous one as
// a semantic cloud; the other two forms are for inspection only.
void DepthCamera::publishDangerousRegions(
  DangerousThreadInputPara & lethal_input, DangerousThreadInputPara & dangerous_input)
{
  const StageTimes::Stamp t0 = StageTimes::now();
  dilateCloud(lethal_input.source_cloud, lethal_input.region_cloud, lethal_input.dilate_offset);
  dilateCloud(
    dangerous_input.source_cloud, dangerous_input.region_cloud, dangerous_input.dilate_offset);
  const StageTimes::Stamp t1 = StageTimes::now();

  const std::vector<CloudInfo> lethal{regionRecord(lethal_input)};
  if (debug_) {
    publishSemanticPointCloud(
      lethal, lethal_region_sem_cloud_pub_, lethal_region_cloud_pub_, true, lethal_input.stamp);
  } else if (lethal_region_sem_cloud_pub_) {
    publishColoredCloud(lethal, lethal_region_cloud_pub_, lethal_input.stamp);
  }
  const std::vector<CloudInfo> dangerous{regionRecord(dangerous_input)};
  publishSemanticPointCloud(
    dangerous, dangerous_region_sem_cloud_pub_, dangerous_region_cloud_pub_, debug_,
    dangerous_input.stamp);

  if (debug_) {
    WORKER_LOG(
      "cam_{0:d} :<cloud_filter_duration> runtime = {1:d}(us)", camera_id_, microseconds(t0, t1));
    WORKER_LOG(
      "cam_{0:d} :<dangerous_public_diff_time> runtime = {1:05.4f}(s)", camera_id_,
      TimeToDouble(node_->now()) - lethal_input.stamp);
  }
}
