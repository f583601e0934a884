#include <algorithm>
#include <cmath>
#include <limits>
#include <string>

#include <Eigen/Geometry>
#include <opencv2/imgproc.hpp>
#include <pcl/common/transforms.h>

#include "pelorin/perception/pixel_geometry.hpp"
#include "quorvane_object_detect/trash_detection.hpp"
#include "semantic.pb.h"

#define TRASH_LOG(level, ...) QLOG_AS("trashDetectionCallback", level, __VA_ARGS__)

namespace
{

constexpr std::size_t kPosePoints = 5;
constexpr std::size_t kSizePoints = 20;

}  // namespace

bool turnsTooFast(double angular_z, float threshold)
{
  return std::abs(angular_z) > static_cast<double>(threshold);
}

TrashSelection selectTrashBoxes(
  const std::vector<BboxInfo> & boxes, const std::set<int> & trash_classes, int camera_id)
{
  TrashSelection selection;
  for (const BboxInfo & box : boxes) {
    const std::string name = semantic::SemanticTypeName(box.class_id);
    TRASH_LOG(
      spdlog::level::debug, "cam_{}, class_id={}, class_name={}, score={}", camera_id,
      box.class_id, name, box.score);
    if (trash_classes.count(box.class_id) != 0) {
      TRASH_LOG(spdlog::level::debug, "cam_{}, trash, class_name={}", camera_id, name);
      selection.trash.push_back(box);
    } else if (box.class_id == semantic::BASE || box.class_id == semantic::WAITING_BENCH) {
      TRASH_LOG(spdlog::level::debug, "cam_{}, base_or_waiting, class_name={}", camera_id, name);
      selection.base_or_waiting.push_back(box);
    }
  }
  TRASH_LOG(
    spdlog::level::debug, "cam_{}, trash size={}, base_waiting size={}", camera_id,
    selection.trash.size(), selection.base_or_waiting.size());
  return selection;
}

bool nearImageBorder(const BboxInfo & box, int edge, int width, int height)
{
  return box.x1 < edge || box.y1 < edge || box.x2 > width - edge || box.y2 > height - edge;
}

std::optional<Eigen::Vector4f> trashCentroid(const pcl::PointCloud<pcl::PointXYZ> & cloud)
{
  if (cloud.size() < kPosePoints) {
    return std::nullopt;
  }
  Eigen::Vector3f sum = Eigen::Vector3f::Zero();
  for (const auto & point : cloud) {
    sum += point.getVector3fMap();
  }
  sum /= static_cast<float>(cloud.size());
  return Eigen::Vector4f(sum.x(), sum.y(), sum.z(), 1.0F);
}

bool beyondTrashRange(float base_x, float distance_threshold)
{
  return static_cast<double>(base_x) > static_cast<double>(distance_threshold) + 0.5;
}

std::optional<bool> trashInRegion(
  const BboxInfo & trash, const std::vector<BboxInfo> & base_or_waiting, float iou_threshold,
  const std::map<int32_t, semantic::HeightRange> & height_range, float base_z, int camera_id)
{
  const std::string name = semantic::SemanticTypeName(trash.class_id);
  bool in_region = false;
  // Every base is compared and logged, also after a match.
  for (const BboxInfo & base : base_or_waiting) {
    const float iou = boxIou(
      static_cast<float>(trash.x1), static_cast<float>(trash.y1), static_cast<float>(trash.x2),
      static_cast<float>(trash.y2), static_cast<float>(base.x1), static_cast<float>(base.y1),
      static_cast<float>(base.x2), static_cast<float>(base.y2), false);
    TRASH_LOG(
      spdlog::level::debug, "cam_{}, iou={}, trash_mask_iou_v1={}", camera_id, iou,
      iou_threshold);
    if (iou > iou_threshold) {
      TRASH_LOG(
        spdlog::level::debug, "cam_{} : trash={} is above obstacle={}", camera_id, name,
        semantic::SemanticTypeName(base.class_id));
      in_region = true;
    }
  }
  if (!in_region) {
    const auto range = height_range.find(trash.class_id);
    if (range == height_range.end()) {
      return std::nullopt;
    }
    if (static_cast<float>(range->second.max) > base_z) {
      TRASH_LOG(spdlog::level::debug, "cam_{} : trash={} is above ground", camera_id, name);
      in_region = true;
    }
  }
  TRASH_LOG(spdlog::level::debug, "cam_{} : trash_use_status={}", camera_id, in_region);
  return in_region;
}

std::optional<std::array<float, 3>> measureWasteSize(
  const pcl::PointCloud<pcl::PointXYZ> & cloud, const Eigen::Matrix4f & cam_to_base)
{
  if (cloud.size() < kSizePoints) {
    return std::nullopt;
  }
  pcl::PointCloud<pcl::PointXYZ> base;
  pcl::transformPointCloud(cloud, base, cam_to_base, true);
  float lowest = std::numeric_limits<float>::max();
  float highest = std::numeric_limits<float>::lowest();
  std::vector<cv::Point2f> footprint;
  footprint.reserve(base.size());
  for (const auto & point : base) {
    lowest = std::min(lowest, point.z);
    highest = std::max(highest, point.z);
    footprint.emplace_back(point.x, point.y);
  }
  const cv::Size2f side = cv::minAreaRect(footprint).size;
  return std::array<float, 3>{
    std::max(side.width, side.height), std::min(side.width, side.height), highest - lowest};
}

bool nearAnnouncedTrash(
  const std::vector<pelorin::perception::ObjectInfo> & announced, const double (&position)[3],
  float distance)
{
  return std::any_of(
    announced.begin(), announced.end(), [&](const pelorin::perception::ObjectInfo & earlier) {
      const double dx = position[0] - earlier.position[0];
      const double dy = position[1] - earlier.position[1];
      return distance > static_cast<float>(std::sqrt(dx * dx + dy * dy));
    });
}
