#include <vector>

#include "quorvane_object_detect/colored_cloud.hpp"
#include "quorvane_object_detect/depth_camera.hpp"
#include "quorvane_object_detect/object_lists.hpp"
#include "quorvane_object_detect/obstacle_sort.hpp"

#define PUBLIC_LOG(...) QLOG_AS("dynamicAndStaticPublic", spdlog::level::debug, __VA_ARGS__)

void DepthCamera::pointCloudAssignLable(
  const std::vector<pcl::PointCloud<pcl::PointXYZ>> & clusters,
  const AiDetectResult & ground_plane, std::vector<CloudInfo> & class_cloud_info, double time)
{
  const StageTimes::Stamp t0 = StageTimes::now();
  cloud_->cloudDynamicStaticSplit(
    clusters, ground_plane, intrinsics_, base_to_cam_matrix_, image_width_, image_height_,
    class_cloud_info);
  QLOG_DEBUG(
    "class_cloud_info size = {0:d} of the cam_{1:d}", class_cloud_info.size(), camera_id_);
  const StageTimes::Stamp t1 = StageTimes::now();
  publishColoredCloud(class_cloud_info, class_cloud_info_pub_, time);

  // The detector and this stage share the depth-callback thread: no lock.
  DivideCloud divide;
  if (dynamic_cloud_detector_->division_available_) {
    divide = [this](const auto & cluster, auto & moving, auto & still) {
        dynamic_cloud_detector_->DivideCloud(cluster, moving, still);
      };
  }
  const SortedRecords sorted = pointCloudPostcress(
    class_cloud_info,
    {dynamic_obstacle_class_type_, static_obstacle_class_type_, groud_stain_class_type_}, divide);
  // The labels belong to the frame just sorted; the next one must bring its own.
  dynamic_cloud_detector_->division_available_ = false;
  QLOG_DEBUG(
    "class_cluster_clouds = {} static_cloud_info size = {}, dynamic_cloud_info size = {}, "
    "ground_stain_cloud_info size = {} of the cam_{}",
    class_cloud_info.size(), sorted.static_records.size(), sorted.dynamic_records.size(),
    sorted.stain_records.size(), camera_id_);
  const StageTimes::Stamp t2 = StageTimes::now();

  const ObjectLists lists = objectLists(sorted.dynamic_records, camera_id_, time);
  people_info_pub_->publish(lists.people);
  objects_rgbd_pub_->publish(lists.objects);
  publishSemanticPointCloud(
    sorted.static_records, static_obstacle_cloud_pub_, ori_static_obstacle_cloud_pub_, debug_,
    time);
  PUBLIC_LOG("public static obstacle of the cam_{0:d}", camera_id_);
  publishSemanticPointCloud(
    sorted.dynamic_records, dynamic_obstacle_cloud_pub_, ori_dynamic_obstacle_cloud_pub_, debug_,
    time);
  PUBLIC_LOG("public dynamic obstacle of the cam_{0:d}", camera_id_);
  publishSemanticPointCloud(
    sorted.stain_records, stain_cloud_pub_, ori_stain_cloud_pub_, debug_, time);
  PUBLIC_LOG("public stain cloud of the cam_{0:d}", camera_id_);
  const StageTimes::Stamp t3 = StageTimes::now();

  if (debug_) {
    QLOG_DEBUG(
      "cam_{0:d} :Func<cloudDynamicStaticSplit> runtime = {1:d}(us)", camera_id_,
      microseconds(t0, t1));
    QLOG_DEBUG(
      "cam_{0:d} :Func<pointCloudPostcress> runtime = {1:d}(us)", camera_id_,
      microseconds(t1, t2));
    QLOG_DEBUG(
      "cam_{0:d} :Func<dynamicAndStaticPublic> runtime = {1:d}(us)", camera_id_,
      microseconds(t2, t3));
  }
}
