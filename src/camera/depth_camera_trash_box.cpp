#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "quorvane_object_detect/camera_config.hpp"
#include "quorvane_object_detect/depth_camera.hpp"
#include "quorvane_object_detect/trash_detection.hpp"
#include "semantic.pb.h"

#define TRASH_LOG(level, ...) QLOG_AS("trashDetectionCallback", level, __VA_ARGS__)

namespace
{

// The robot event telling the task centre of trash it is not to clean.
constexpr int32_t kTrashNotInRegionEventType = 4;
constexpr int32_t kTrashNotInRegionEventCode = 50012;

}  // namespace

// One trash box of a frame: its cloud, position and size, and whether it
// lies in the region to clean.  Trash in the region goes to `tracked`; on
// camera 1 a paper cup outside it is announced, at most once per frame.
void DepthCamera::placeTrash(
  const TrashThreadInputPara & input, const BboxInfo & box,
  const std::vector<BboxInfo> & base_or_waiting, const Eigen::Matrix4f & cam_to_map,
  std::vector<pelorin::perception::ObjectInfo> & tracked, bool & announced)
{
  if (nearImageBorder(
      box, bbox_edge_threshold_, static_cast<int>(input.depth->width),
      static_cast<int>(input.depth->height)))
  {
    TRASH_LOG(spdlog::level::debug, "cam_{}, trash bbox except, thus abandoned!", camera_id_);
    return;
  }
  // Every pixel of the box, clipped to the depth image and the mask.
  auto cloud = std::make_shared<pcl::PointCloud<pcl::PointXYZ>>();
  cloud_->depthToCloud(input.depth, intrinsics_, box, cloud, 1);
  cloud->is_dense = true;
  const std::optional<Eigen::Vector4f> centroid = trashCentroid(*cloud);
  if (!centroid) {
    TRASH_LOG(
      spdlog::level::debug, "cam_{}, Too few points to estimate trash pose, thus abandoned!",
      camera_id_);
    return;
  }
  const Eigen::Vector4f base = cam_to_base_matrix_ * *centroid;
  if (beyondTrashRange(base.x(), trash_distance_threshold_)) {
    TRASH_LOG(
      spdlog::level::debug, "cam_{}, trash cloud position {} is out of range, thus abandoned!",
      camera_id_, base.x());
    return;
  }
  const std::optional<bool> in_region = trashInRegion(
    box, base_or_waiting, trash_mask_iou_v1, ai_conf_->height_range, base.z(), camera_id_);
  if (!in_region) {
    dropTrashWithoutHeight(box.class_id);
    return;
  }
  const Eigen::Vector4f map = cam_to_map * *centroid;
  const std::vector<float> size = ComputeWasteSize3D(*cloud, cam_to_base_matrix_);
  if (min_trash_area_ > size[0] * size[1]) {
    TRASH_LOG(spdlog::level::debug, "cam_{} : trash area too small, filterd!", camera_id_);
    return;
  }
  pelorin::perception::ObjectInfo trash;
  trash.position[0] = map.x();
  trash.position[1] = map.y();
  trash.position[2] = map.z();
  trash.distance = static_cast<float>(std::sqrt(
      static_cast<double>(centroid->x()) * centroid->x() +
      static_cast<double>(centroid->y()) * centroid->y() +
      static_cast<double>(centroid->z()) * centroid->z()));
  trash.class_id = box.class_id;
  trash.size = size;
  if (*in_region) {
    tracked.push_back(trash);
  } else if (camera_id_ == 1 && !announced && box.class_id == semantic::PAPER_CUP) {
    announceTrash(trash, announced);
  }
}

// Without a height range the region cannot be decided: the box is dropped,
// and the configuration gap is reported once per class.
void DepthCamera::dropTrashWithoutHeight(int32_t class_id)
{
  const std::string name = semantic::SemanticTypeName(class_id);
  TRASH_LOG(
    spdlog::level::debug, "cam_{} : trash={} has no height range, thus abandoned!", camera_id_,
    name);
  if (trash_classes_without_height_.insert(class_id).second) {
    namespace config = quorvane::camera_config;
    TRASH_LOG(
      spdlog::level::warn,
      "cam_{} : trash class {} has no height range in the model height file {}, its trash is "
      "dropped", camera_id_, name,
      config::packageConfigPath(
        config::readParameter<std::string>(*node_, "model_height_file", "")));
  }
}

// Tells the task centre of trash outside the region, unless trash announced
// before lies where this one does.
void DepthCamera::announceTrash(const pelorin::perception::ObjectInfo & trash, bool & announced)
{
  const std::string name = semantic::SemanticTypeName(trash.class_id);
  TRASH_LOG(spdlog::level::debug, "cam_{} : trash={} not in roi", camera_id_, name);
  if (nearAnnouncedTrash(broadcast_trash_positions_, trash.position, no_clean_trash_map_dis_th_)) {
    TRASH_LOG(
      spdlog::level::debug, "cam_{} : map_dis < no_clean_trash_map_dis_th_", camera_id_);
    return;
  }
  TRASH_LOG(
    spdlog::level::info, "cam_{} : trash = {} not in roi and trash broadcast", camera_id_, name);
  broadcast_trash_positions_.push_back(trash);
  robot_event_msg_.event_type = kTrashNotInRegionEventType;
  robot_event_msg_.event_code = kTrashNotInRegionEventCode;
  robot_event_pub_->publish(robot_event_msg_);
  announced = true;
}

// Length, width and height of the trash in the base frame; -1 each when the
// cloud is too small to measure, and `waste_size_` keeps the last measure.
std::vector<float> DepthCamera::ComputeWasteSize3D(
  const pcl::PointCloud<pcl::PointXYZ> & cloud, const Eigen::Matrix4f & cam_to_base)
{
  const std::optional<std::array<float, 3>> size = measureWasteSize(cloud, cam_to_base);
  if (!size) {
    QLOG_DEBUG("Too few points: {}", cloud.size());
    return {-1.0F, -1.0F, -1.0F};
  }
  waste_size_ = *size;
  return {waste_size_.begin(), waste_size_.end()};
}
