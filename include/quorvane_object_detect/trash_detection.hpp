#pragma once

#include "quorvane_object_detect/pose_of_matrix.hpp"

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <vector>

#include <Eigen/Core>
#include <pcl/point_cloud.h>
#include <pcl/point_types.h>

#include "geometry_msgs/msg/pose.hpp"
#include "pelorin/perception/object_info.hpp"
#include "quorvane_object_detect/common.hpp"
#include "quorvane_object_detect/depth_camera.hpp"
#include "quorvane_object_detect/semantic_type.hpp"
#include "sensor_msgs/msg/image.hpp"

// The pieces of trash detection that need no camera: the hand-off between the
// depth callback and the trash thread, and the per-frame and per-box rules.

// One camera's hand-off record and what guards it.
struct TrashHandOff
{
  std::mutex & mutex;
  std::condition_variable & cv;
  std::atomic<bool> & idle;                 // true: the record is free, the thread waits
  const std::atomic<bool> & stop;           // teardown: the thread returns
  std::atomic<std::size_t> & frames_done;   // frames the thread has let go of
  DepthCamera::TrashThreadInputPara & record;
};

// Hands a frame with detections in when the thread is idle and the mutex is
// free at once: the depth callback never waits for the thread.  True when
// the frame was handed in.
bool offerTrashFrame(
  const TrashHandOff & hand_off, const sensor_msgs::msg::Image::ConstSharedPtr & depth,
  const AiDetectResult & detection);

// The trash thread: runs `frame` on every handed-in record with the mutex
// held, until `stop`.  An exception costs that frame only (one ERROR line).
void runTrashThread(
  const TrashHandOff & hand_off,
  const std::function<void(DepthCamera::TrashThreadInputPara &)> & frame, int camera_id);

// Whether the robot turns too fast for trash positions to hold; a NaN rate
// does not.
bool turnsTooFast(double angular_z, float threshold);

struct TrashSelection
{
  std::vector<BboxInfo> trash;
  std::vector<BboxInfo> base_or_waiting;  // what trash may lie on
};

// Trash boxes (class in `trash_classes`) and base or waiting-bench boxes, in
// detection order; a trash class is never taken as a base.
TrashSelection selectTrashBoxes(
  const std::vector<BboxInfo> & boxes, const std::set<int> & trash_classes, int camera_id);

// Whether the box comes within `edge` pixels of the border of the image:
// trash cut by the border gives a wrong position and size.
bool nearImageBorder(const BboxInfo & box, int edge, int width, int height);

// The mean of the points (w = 1); empty below the 5 points a position needs.
std::optional<Eigen::Vector4f> trashCentroid(const pcl::PointCloud<pcl::PointXYZ> & cloud);

// Whether the centroid's base-frame x lies beyond `distance_threshold` + 0.5 m.
bool beyondTrashRange(float base_x, float distance_threshold);

// Whether the trash lies in the region to clean: on a base or waiting bench
// (box IoU above `iou_threshold`) or below its class's highest position
// (`base_z`: its centroid's height).  Empty when that height is needed and
// `height_range` has no entry for the class.
std::optional<bool> trashInRegion(
  const BboxInfo & trash, const std::vector<BboxInfo> & base_or_waiting, float iou_threshold,
  const std::map<int32_t, semantic::HeightRange> & height_range, float base_z, int camera_id);

// Footprint length (the longer side), width and height of the cloud moved by
// `cam_to_base`; empty below the 20 points a size needs.
std::optional<std::array<float, 3>> measureWasteSize(
  const pcl::PointCloud<pcl::PointXYZ> & cloud, const Eigen::Matrix4f & cam_to_base);

// Whether `position` lies closer than `distance` over the floor to trash
// announced before.
bool nearAnnouncedTrash(
  const std::vector<pelorin::perception::ObjectInfo> & announced, const double (&position)[3],
  float distance);
