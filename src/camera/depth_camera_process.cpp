#include <exception>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "cv_bridge/cv_bridge.h"
#include "quorvane_object_detect/depth_camera.hpp"

#define PROCESS_LOG(level, ...) QLOG_AS("process", level, __VA_ARGS__)

// The stages of one frame, in their order.
void DepthCamera::process(FrameContext & frame)
{
  frame.stage = "ground_fit_rebuild";
  rebuildGroundFit();
  image_width_ = static_cast<int>(frame.depth->width);
  image_height_ = static_cast<int>(frame.depth->height);

  frame.stage = "rgb_conversion";
  convertRgb(frame);

  frame.stage = "ai_method";
  aiStage(frame);
  offerToTrashThread(frame);
  frame.stage = "detect_bbox_image";
  publishDetectionImage(frame);
  frame.stage = "objects_rgb";
  publishRgbObjects(frame);
  frame.stage = "box_split";
  splitBoxes(frame);
  cloud_motion_compensation(frame);

  if (!geometricChain(frame)) {
    return;
  }
  frame.stage = "pointCloud_assign_lable";
  std::vector<CloudInfo> records = frame.no_remove_ground_clouds;
  pointCloudAssignLable(frame.clusters, frame.ground_plane, records, frame.frame_stamp);
  frame.times.assign_label = StageTimes::now();
  if (debug_) {
    logStageTimes(frame);
  }
}

// A ground parameter changed at run time: a new fitter from the new values.
// Values the fitter cannot work with leave the previous one in place.
void DepthCamera::rebuildGroundFit()
{
  settleGroundChange(false);
  pelorin::perception::GroundRemovalParams params;
  {
    std::lock_guard<std::mutex> lock(ground_fit_mutex_);
    if (!update_ground_fit_) {
      return;
    }
    update_ground_fit_ = false;
    params = remove_ground_params_;
  }
  PROCESS_LOG(spdlog::level::info, "DepthCamera::process update a new RemoveGroundLineFit");
  const std::string refused = pelorin::perception::RemoveGroundLineFit::ValidationError(params);
  if (!refused.empty()) {
    PROCESS_LOG(
      spdlog::level::err, "cam_{0:d} keeps its ground fit, the new values are refused: {1:s}",
      camera_id_, refused);
    return;
  }
  cloud_->remove_ground_ = std::make_shared<pelorin::perception::RemoveGroundLineFit>(params);
}

// The paired colour image as "rgb8".  One that cannot be converted leaves the
// frame without colour image.
void DepthCamera::convertRgb(FrameContext & frame)
{
  if (!matched_rgb_msg_) {
    return;
  }
  try {
    frame.rgb = cv_bridge::toCvCopy(matched_rgb_msg_, "rgb8")->image;
  } catch (const std::exception & error) {
    PROCESS_LOG(
      spdlog::level::warn, "cam_{0:d} colour image dropped, no rgb8 conversion: {1:s}",
      camera_id_, error.what());
    matched_rgb_msg_.reset();
    frame.rgb.release();
  }
}

void DepthCamera::logStageTimes(const FrameContext & frame)
{
  const StageTimes & t = frame.times;
  const auto line = [this](const char * stage, long long us) {
      PROCESS_LOG(spdlog::level::debug, "cam_{0:d} :<{1:s}> runtime = {2:d}(us)", camera_id_,
        stage, us);
    };
  line("depth_to_cloud", microseconds(t.chain_start, t.depth_to_cloud));
  line("sample_cloud", microseconds(t.depth_to_cloud, t.sample_cloud));
  line("cam_to_base", microseconds(t.sample_cloud, t.cam_to_base));
  line("remove_ground", microseconds(t.cam_to_base, t.remove_ground));
  line("cloud_cluster", microseconds(t.remove_ground, t.cloud_cluster));
  line("dynamic_detector", microseconds(t.cloud_cluster, t.dynamic_detector));
  line("trad_method", microseconds(t.chain_start, t.dynamic_detector));
  line("pointCloud_assign_lable", microseconds(t.dynamic_detector, t.assign_label));
  line("ai_method", microseconds(t.ai_start, t.ai_end));
}
