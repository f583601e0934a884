#include <algorithm>
#include <cmath>
#include <cstdint>

#include <opencv2/imgproc.hpp>

#include "cloud_labelling.hpp"
#include "pelorin/perception/pixel_geometry.hpp"
#include "quorvane_object_detect/logger.hpp"
#include "quorvane_object_detect/semantic_type.hpp"

#define LABEL_LOG(...) QLOG_AS("cloudAssginLabel", spdlog::level::debug, __VA_ARGS__)

namespace
{

using PointCloud = pcl::PointCloud<pcl::PointXYZ>;

constexpr int kDilationRadius = 5;  // of the 11 x 11 rectangle
constexpr int32_t kPersonClass = 300;

// The camera origin is where a missing depth lands; neither it nor a
// non-finite point has a pixel.
bool unplaceable(const pcl::PointXYZ & p)
{
  return !std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z) ||
         (p.x == 0.0F && p.y == 0.0F && p.z == 0.0F);
}

bool covers(const DilatedMask & grown, const cv::Point & pixel)
{
  return isPointInMask(grown.mask, pixel - grown.area.tl());
}

// The part of the dilated mask over `box`, box-sized.
cv::Mat maskOver(const DilatedMask & grown, const cv::Rect & box)
{
  cv::Mat part = cv::Mat::zeros(box.size(), CV_8UC1);
  const cv::Rect common = box & grown.area;
  grown.mask(common - grown.area.tl()).copyTo(part(common - box.tl()));
  return part;
}

// What stays the same through the recursion of one cluster.
struct Labelling
{
  const CloudPara & para;
  const std::vector<BboxInfo> & detections;
  const std::vector<DilatedMask> & dilated;
  std::vector<bool> & used;
  const std::array<float, 4> & intrinsics;
  int width;
  int height;
  std::vector<std::vector<CloudInfo>> & assigned;
  std::vector<CloudInfo> & unassigned;

  std::vector<cv::Point> project(const PointCloud & camera) const
  {
    const float fx = intrinsics[0];
    const float fy = intrinsics[1];
    const float cx = intrinsics[2];
    const float cy = intrinsics[3];
    std::vector<cv::Point> pixels;
    pixels.reserve(camera.size());
    for (const pcl::PointXYZ & p : camera) {
      pixels.emplace_back(
        ::clamp(p.x * fx / p.z + cx + 0.5F, 0, width - 1),
        ::clamp(p.y * fy / p.z + cy + 0.5F, 0, height - 1));
    }
    return pixels;
  }

  // Index of the first untested detection whose dilated mask covers more
  // than mask_iou_max of the cluster's pixels, or the detection count.
  std::size_t findMatch(const std::vector<cv::Point> & pixels, float & iou) const
  {
    // Only the cluster's own box is compared: outside it the cluster mask is
    // unset and adds nothing to the overlap of the first mask.
    const cv::Rect box = cv::boundingRect(pixels);
    cv::Mat cluster_mask = cv::Mat::zeros(box.size(), CV_8UC1);
    std::vector<cv::Point> local;
    local.reserve(pixels.size());
    for (const cv::Point & pixel : pixels) {
      local.push_back(pixel - box.tl());
    }
    pixelToMask(local, cluster_mask);
    for (std::size_t i = 0; i < detections.size(); ++i) {
      if (used[i]) {
        continue;
      }
      const DilatedMask & grown = dilated[i];
      iou = (box & grown.area).empty() ? 0.0F :
        maskIou(cluster_mask, maskOver(grown, box), pelorin::perception::kOverlapOfFirst);
      LABEL_LOG(
        "cloud_iou={0:03.2f}, id={1:s}", iou, semantic::SemanticTypeName(detections[i].class_id));
      if (iou > para.mask_iou_max) {
        return i;
      }
    }
    return detections.size();
  }

  // `camera` and `base` hold placeable points only, pairwise the same.
  void label(const PointCloud & camera, const PointCloud & base) const
  {
    const std::vector<cv::Point> pixels = project(camera);
    LABEL_LOG("cloud_pixel_locate size ={0:d}", pixels.size());
    float iou = 0.0F;
    const std::size_t i = findMatch(pixels, iou);
    if (i == detections.size()) {
      CloudInfo record;
      record.cloud = base;
      unassigned.push_back(std::move(record));
      return;
    }
    const BboxInfo & detection = detections[i];
    CloudInfo record;
    record.bbox = detection;
    record.label = detection.class_id;
    PointCloud camera_rest;
    PointCloud base_rest;
    for (std::size_t k = 0; k < pixels.size(); ++k) {
      if (covers(dilated[i], pixels[k])) {
        record.cloud.push_back(base[k]);
      } else {
        camera_rest.push_back(camera[k]);
        base_rest.push_back(base[k]);
      }
    }
    LABEL_LOG(
      "info.cloud.size()={0:d}, split_base_cloud.size()={1:d}", record.cloud.size(),
      base_rest.size());
    const float whole_share =
      detection.class_id == kPersonClass ? para.person_percent : para.obstacle_percent;
    if (whole_share > 1.0F - iou) {
      record.cloud = base;
      camera_rest.clear();
      base_rest.clear();
    }
    if (!record.cloud.empty()) {
      assigned[i].push_back(std::move(record));
      LABEL_LOG("cloudAssginLabel add to bbox_cloud_info");
    }
    used[i] = true;
    // Every point is now in the record or in the remainder.  A match that
    // kept nothing (only with a negative mask_iou_max) passes the whole
    // cluster on, so it must not also end unassigned here.
    if (!base_rest.empty()) {
      label(camera_rest, base_rest);
    }
  }
};

}  // namespace

std::vector<DilatedMask> dilateDetectionMasks(
  const std::vector<BboxInfo> & detections, int width, int height)
{
  const cv::Rect image(0, 0, std::max(width, 0), std::max(height, 0));
  const cv::Mat kernel = cv::getStructuringElement(
    cv::MORPH_RECT, cv::Size(2 * kDilationRadius + 1, 2 * kDilationRadius + 1));
  std::vector<DilatedMask> dilated(detections.size());
  for (std::size_t i = 0; i < detections.size(); ++i) {
    const cv::Mat & mask = detections[i].mask;
    // A mask of another size than the image is unset outside its own size.
    const cv::Rect own = image & cv::Rect(0, 0, mask.cols, mask.rows);
    if (mask.type() != CV_8UC1 || own.empty()) {
      continue;
    }
    const cv::Rect set = cv::boundingRect(mask(own));
    if (set.empty()) {
      continue;
    }
    // Farther than the radius from every set pixel the dilation stays 0.
    DilatedMask & out = dilated[i];
    out.area = image & cv::Rect(
      set.x - kDilationRadius, set.y - kDilationRadius, set.width + 2 * kDilationRadius,
      set.height + 2 * kDilationRadius);
    // A copy of its own: the dilation would read a view's neighbours, which
    // may lie past the mask's part of the image.
    cv::Mat source = cv::Mat::zeros(out.area.size(), CV_8UC1);
    mask(set).copyTo(source(set - out.area.tl()));
    cv::dilate(source, out.mask, kernel);
  }
  return dilated;
}

void assignClusterLabel(
  const CloudPara & para, const std::vector<BboxInfo> & detections,
  const std::vector<DilatedMask> & dilated, std::vector<bool> & used,
  const PointCloud & camera_cluster, const PointCloud & base_cluster,
  const std::array<float, 4> & intrinsics, int width, int height,
  std::vector<std::vector<CloudInfo>> & assigned, std::vector<CloudInfo> & unassigned)
{
  // Points without a pixel leave both clusters, so pixel k stays paired
  // with point k; a cluster of nothing else leaves no record.
  PointCloud camera;
  PointCloud base;
  const std::size_t count = std::min(camera_cluster.size(), base_cluster.size());
  camera.reserve(count);
  base.reserve(count);
  for (std::size_t k = 0; k < count; ++k) {
    if (!unplaceable(camera_cluster[k])) {
      camera.push_back(camera_cluster[k]);
      base.push_back(base_cluster[k]);
    }
  }
  if (base.empty()) {
    return;
  }
  const Labelling labelling{
    para, detections, dilated, used, intrinsics, width, height, assigned, unassigned};
  labelling.label(camera, base);
}

void Cloud::cloudAssginLabel(
  const AiDetectResult & detections, std::vector<bool> & used, const PointCloud & camera_cluster,
  const PointCloud & base_cluster, const std::array<float, 4> & intrinsics, int width, int height,
  std::vector<std::vector<CloudInfo>> & assigned, std::vector<CloudInfo> & unassigned) const
{
  const std::vector<BboxInfo> & boxes = detections.bboxs_info;
  // Shorter lists would be indexed past their end.
  used.resize(std::max(used.size(), boxes.size()), false);
  assigned.resize(std::max(assigned.size(), boxes.size()));
  assignClusterLabel(
    cloud_para_, boxes, dilateDetectionMasks(boxes, width, height), used, camera_cluster,
    base_cluster, intrinsics, width, height, assigned, unassigned);
}
