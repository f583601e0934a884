#include <chrono>
#include <string>
#include <vector>

#include "quorvane_object_detect/depth_camera.hpp"
#include "quorvane_object_detect/trash_detection.hpp"
#include "quorvane_object_detect/wait_for_message.hpp"

#define TRASH_LOG(level, ...) QLOG_AS("trashDetectionCallback", level, __VA_ARGS__)

namespace
{

// Report-site key of error_report_time_ (the input checks hold the others).
constexpr int kKeyNoMap = 871;

}  // namespace

// The depth callback's hand-off: the frame's detections go to the trash
// thread when it is free, else this frame's trash is left out.
void DepthCamera::offerToTrashThread(const FrameContext & frame)
{
  offerTrashFrame(
    {trash_mutex_, trash_cv_, trash_thread_idle_, stop_workers_, trash_frames_done_,
      trash_thread_input_}, frame.depth, frame.detection);
}

void DepthCamera::trashDetectionCallback(TrashThreadInputPara * input)
{
  runTrashThread(
    {trash_mutex_, trash_cv_, trash_thread_idle_, stop_workers_, trash_frames_done_, *input},
    [this](TrashThreadInputPara & record) {trashFrame(record);}, camera_id_);
}

// One handed-in frame: gate on the turn rate, select the boxes, place each
// trash box in "map", then feed the tracker.
void DepthCamera::trashFrame(TrashThreadInputPara & input)
{
  // While the robot turns fast the image and the poses disagree.
  geometry_msgs::msg::Twist twist;
  if (rclcpp::wait_for_message(
      twist, node_, wait_callback_group_, "cmd_vel", std::chrono::milliseconds(100)) &&
    turnsTooFast(twist.angular.z, robot_angular_threshold_))
  {
    TRASH_LOG(
      spdlog::level::debug, "cam_{}, cmd_vel: {} too large, thus abandoned!", camera_id_,
      twist.angular.z);
    return;
  }
  const TrashSelection selection =
    selectTrashBoxes(input.bboxs_info, trash_class_type_, camera_id_);

  // The image's own frame and time: the camera may have moved since.  A map
  // tf2 has never connected is not waited for: the wait holds the trash
  // mutex, and on a stopped clock it would never end.
  const rclcpp::Time time(input.depth->header.stamp, RCL_ROS_TIME);
  const auto reaches_map = [this](const std::string & source) {
      return tf2Connects(kMapFrame, source, kKeyNoMap, "trash is not placed");
    };
  Eigen::Matrix4f cam_to_map;
  if (!reaches_map(input.depth->header.frame_id) ||
    !getTransformMatrix(kMapFrame, input.depth->header.frame_id, time, cam_to_map))
  {
    TRASH_LOG(
      spdlog::level::debug, "cam_{}, cam_to_map_transform_matrix except, thus abandoned!",
      camera_id_);
    return;
  }
  Eigen::Matrix4f base_to_map;
  if (!reaches_map(kBaseFrame) || !getTransformMatrix(kMapFrame, kBaseFrame, time, base_to_map)) {
    TRASH_LOG(
      spdlog::level::debug, "cam_{}, base_to_map_transform_matrix except, thus abandoned!",
      camera_id_);
    return;
  }

  std::vector<pelorin::perception::ObjectInfo> tracked;
  bool announced = false;
  for (const BboxInfo & box : selection.trash) {
    placeTrash(input, box, selection.base_or_waiting, cam_to_map, tracked, announced);
  }
  // Also without trash: the tracker counts the frames that should have seen its tracks.
  trash_tracker_->Update(tracked, poseOfMatrix(base_to_map));
  trash_tracker_->Publish();
}
