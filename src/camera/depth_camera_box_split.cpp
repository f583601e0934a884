#include <algorithm>
#include <memory>
#include <utility>
#include <vector>

#include <opencv2/imgproc.hpp>
#include <pcl/common/transforms.h>

#include "cv_bridge/cv_bridge.h"
#include "quorvane_object_detect/box_split.hpp"
#include "quorvane_object_detect/depth_camera.hpp"

#define PROCESS_LOG(level, ...) QLOG_AS("process", level, __VA_ARGS__)

namespace
{

bool contains(const std::set<int> & classes, int label) {return classes.count(label) != 0;}

// Largest first; equal counts come in no fixed order.
void sortClustersByPointCount(std::vector<pcl::PointCloud<pcl::PointXYZ>> & clusters)
{
  std::sort(
    clusters.begin(), clusters.end(),
    [](const auto & a, const auto & b) {return a.size() > b.size();});
}

// The masks painted over the image in palette order, blended for the eye.
cv::Mat erodeOverlay(const cv::Mat & image, const std::vector<cv::Mat> & masks)
{
  cv::Mat blended = image.clone();
  cv::Mat painted = image.clone();
  for (std::size_t i = 0; i < masks.size(); ++i) {
    // A mask of another size cannot stencil the image; the overlay is only a view.
    if (masks[i].size() != painted.size()) {
      continue;
    }
    const std::vector<int> & colour = kColorPalette20[i % kColorPalette20.size()];
    painted.setTo(cv::Scalar(colour[0], colour[1], colour[2]), masks[i]);
  }
  cv::addWeighted(blended, 0.5, painted, 0.8, 1.0, blended);
  return blended;
}

}  // namespace

void splitBoxList(
  const AiDetectResult & detection, bool rgb_mismatch, const BoxClasses & classes,
  AiDetectResult & ground_plane, AiDetectResult & per_box)
{
  ground_plane = AiDetectResult{detection.image, {}, detection.stamp};
  per_box = AiDetectResult{detection.image, {}, detection.stamp};
  for (const BboxInfo & box : detection.bboxs_info) {
    const bool dangerous = contains(classes.dangerous, box.class_id);
    if (rgb_mismatch) {
      if (dangerous) {
        per_box.bboxs_info.push_back(box);
      }
    } else if (dangerous || contains(classes.no_remove_ground, box.class_id)) {
      per_box.bboxs_info.push_back(box);
    } else {
      ground_plane.bboxs_info.push_back(box);
    }
  }
}

int boxStride(int label, const BoxClasses & classes, int stride, int dangerous_stride)
{
  return contains(classes.dangerous, label) ? dangerous_stride : stride;
}

bool erodeDangerousMask(BboxInfo & box, int k, int camera_id)
{
  if (box.x2 - box.x1 <= 2 * k || box.mask.empty()) {
    return false;
  }
  // A horizontal line: the mask shrinks along rows only.  Below one column
  // OpenCV would take a 3 x 3 square instead.
  const cv::Mat kernel = cv::Mat::ones(1, std::max(k, 1), CV_8U);
  cv::Mat eroded;
  cv::erode(
    box.mask, eroded, kernel, cv::Point(-1, -1), 1, cv::BORDER_CONSTANT,
    cv::morphologyDefaultBorderValue());
  box.mask = eroded;
  QLOG_AS(
    "getCloudBeforeGoundRemoval", spdlog::level::info, "cam_{0:d} : dangerous region erode success",
    camera_id);
  return true;
}

int keepLargestCluster(
  CloudInfo & record, const pelorin::perception::CloudCluster & clustering, int camera_id)
{
  int count = 0;
  std::vector<pcl::PointCloud<pcl::PointXYZ>> clusters;
  clustering.obstacleCluster(
    std::make_shared<pcl::PointCloud<pcl::PointXYZ>>(record.cloud), count, clusters);
  PROCESS_LOG(
    spdlog::level::debug, "cam_{0:d} :numCluster = {1:d}, point_num = {2:d}", camera_id, count,
    record.cloud.size());
  if (!clusters.empty()) {
    sortClustersByPointCount(clusters);
    record.cloud = std::move(clusters.front());
  }
  return count;
}

void fileBoxRecord(
  CloudInfo record, const BoxClasses & classes, std::vector<CloudInfo> & no_remove_ground,
  std::vector<CloudInfo> & dangerous)
{
  if (contains(classes.no_remove_ground, record.label)) {
    record.has_bbox = true;
    no_remove_ground.push_back(std::move(record));
  } else if (contains(classes.dangerous, record.label)) {
    record.has_bbox = false;
    dangerous.push_back(std::move(record));
  }
}

// The ground-plane detections, and a base-frame cloud of its own for every box
// that must not go through ground removal.
void DepthCamera::splitBoxes(FrameContext & frame)
{
  const BoxClasses classes{no_remove_ground_class_type_, dangerous_class_type_};
  AiDetectResult per_box;
  splitBoxList(frame.detection, rgb_mismatch_, classes, frame.ground_plane, per_box);
  PROCESS_LOG(
    spdlog::level::debug,
    "groud_plane_bboxs_info size = {0:d}, bboxs_info size = {1:d} of cam_id={2:d}",
    frame.ground_plane.bboxs_info.size(), per_box.bboxs_info.size(), camera_id_);
  frame.no_remove_ground_clouds.clear();
  frame.dangerous_clouds.clear();
  for (BboxInfo & box : per_box.bboxs_info) {
    CloudInfo info;
    info.label = box.class_id;
    if (!getCloudBeforeGoundRemoval(frame.depth, per_box.image, box, info)) {
      continue;
    }
    keepLargestCluster(info, *cloud_->cloud_cluster_, camera_id_);
    fileBoxRecord(std::move(info), classes, frame.no_remove_ground_clouds, frame.dangerous_clouds);
  }
}

bool DepthCamera::getCloudBeforeGoundRemoval(
  const sensor_msgs::msg::Image::ConstSharedPtr & depth, cv::Mat image, BboxInfo & box,
  CloudInfo & info)
{
  const BoxClasses classes{no_remove_ground_class_type_, dangerous_class_type_};
  if (contains(dangerous_class_type_, info.label)) {
    // The erosion writes a new buffer, so this header still shows the mask before it.
    const cv::Mat before = box.mask;
    if (erodeDangerousMask(box, dangerous_region_erode_kernel_size_, camera_id_) && debug_) {
      const cv_bridge::CvImage overlay(
        std_msgs::msg::Header(), "rgb8", erodeOverlay(image, {before, box.mask}));
      dangerous_region_erode_image_pub_->publish(*overlay.toImageMsg());
    }
  }
  auto cloud = std::make_shared<pcl::PointCloud<pcl::PointXYZ>>();
  cloud_->depthToCloud(
    depth, intrinsics_, box, cloud,
    boxStride(info.label, classes, sample_kernel_size_, dangerous_sample_kernel_size_));
  if (cloud->empty() || cloud->width == 0) {
    return false;
  }
  pcl::transformPointCloud(*cloud, info.cloud, cam_to_base_matrix_, true);
  return true;
}
