#include <algorithm>
#include <array>
#include <filesystem>
#include <iostream>
#include <mutex>
#include <system_error>
#include <utility>
#include <vector>

#include "pelorin/perception/remove_ground_line_fit.hpp"
#include "quorvane_object_detect/camera_config.hpp"
#include "quorvane_object_detect/depth_camera.hpp"
#include "quorvane_object_detect/logger.hpp"

namespace quorvane::camera_config
{

namespace
{

using pelorin::perception::GroundRemovalParams;

struct GroundField
{
  const char * name;
  float GroundRemovalParams::* member;
  // The start-up key of segmentation_bin_len carries an extra "_" before the
  // dot; the run-time key does not.
  const char * startup_separator;
  // Fields 7 to 18 echo with two blanks before "=".
  const char * echo_gap;
};

const std::array<GroundField, 18> kGroundFields{{
  {"segmentation_angular_resolution", &GroundRemovalParams::segmentation_angular_resolution,
    ".", " "},
  {"point_cloud_max_range", &GroundRemovalParams::point_cloud_max_range, ".", " "},
  {"point_cloud_min_range", &GroundRemovalParams::point_cloud_min_range, ".", " "},
  {"segmentation_bin_len", &GroundRemovalParams::segmentation_bin_len, "_.", " "},
  {"cam_height", &GroundRemovalParams::cam_height, ".", " "},
  {"max_lsq_residual", &GroundRemovalParams::max_lsq_residual, ".", " "},
  {"min_slope", &GroundRemovalParams::min_slope, ".", "  "},
  {"max_slope", &GroundRemovalParams::max_slope, ".", "  "},
  {"max_height_diff_for_start_up", &GroundRemovalParams::max_height_diff_for_start_up, ".", "  "},
  {"max_height_diff_for_start_down", &GroundRemovalParams::max_height_diff_for_start_down, ".",
    "  "},
  {"max_dist_point_groundline", &GroundRemovalParams::max_dist_point_groundline, ".", "  "},
  {"long_threshold", &GroundRemovalParams::long_threshold, ".", "  "},
  {"max_height_diff_for_front", &GroundRemovalParams::max_height_diff_for_front, ".", "  "},
  {"x_distance_need_preprocess", &GroundRemovalParams::x_distance_need_preprocess, ".", "  "},
  {"z_distance_need_remove", &GroundRemovalParams::z_distance_need_remove, ".", "  "},
  {"max_obstacle_height", &GroundRemovalParams::max_obstacle_height, ".", "  "},
  {"diluting_threshold", &GroundRemovalParams::diluting_threshold, ".", "  "},
  {"noise_nsigma", &GroundRemovalParams::noise_nsigma, ".", "  "},
}};

std::string cameraPrefix(int camera_id)
{
  return "cam" + std::to_string(camera_id);
}

}  // namespace

GroundRemovalParams readGroundRemovalParams(
  const rclcpp_lifecycle::LifecycleNode & node, int camera_id)
{
  const GroundRemovalParams defaults;
  GroundRemovalParams params;
  for (const auto & field : kGroundFields) {
    const std::string key = cameraPrefix(camera_id) + field.startup_separator + field.name;
    params.*field.member = readParameter(node, key, defaults.*field.member);
  }
  return params;
}

void echoGroundRemovalParams(int camera_id, const GroundRemovalParams & params)
{
  for (const auto & field : kGroundFields) {
    QLOG_AS(
      "getRemoveGroundPara", spdlog::level::info,
      "cam_{0:d}_remove_ground_params_.{1}{2}= {3:05.4f}", camera_id, field.name,
      field.echo_gap, params.*field.member);
  }
}

GroundUpdate applyGroundParameters(
  const std::vector<rclcpp::Parameter> & parameters, int camera_id, GroundRemovalParams & params)
{
  const std::string prefix = cameraPrefix(camera_id) + ".";
  GroundRemovalParams candidate = params;
  GroundUpdate update;
  for (const auto & parameter : parameters) {
    QLOG_AS(
      "dynamicParametersCallback", spdlog::level::info,
      "dynamicParametersCallback update param named {}", parameter.get_name());
    const auto field = std::find_if(
      kGroundFields.begin(), kGroundFields.end(),
      [&](const GroundField & f) {return parameter.get_name() == prefix + f.name;});
    if (field == kGroundFields.end()) {
      continue;
    }
    const auto type = parameter.get_type();
    if (type == rclcpp::ParameterType::PARAMETER_DOUBLE) {
      candidate.*field->member = static_cast<float>(parameter.as_double());
    } else if (type == rclcpp::ParameterType::PARAMETER_INTEGER) {
      candidate.*field->member = static_cast<float>(parameter.as_int());
    } else {
      // Refused rather than accepted and ignored, so the caller learns that
      // nothing changed.
      update.accepted = false;
      update.reason = parameter.get_name() + " must be a number";
      continue;
    }
    update.applied.push_back(parameter);
  }
  // The values the next ground fit would be built from, checked as the
  // rebuild checks them: a value refused there must be refused here, while
  // the caller still learns of it and the stored parameter stays as it was.
  if (update.accepted && update.changed()) {
    update.reason = pelorin::perception::RemoveGroundLineFit::ValidationError(candidate);
    update.accepted = update.reason.empty();
  }
  if (!update.accepted) {
    update.applied.clear();
    return update;
  }
  params = candidate;
  return update;
}

float readCalibratedCamHeight(const std::string & path, int camera_id)
{
  const ConfigFile file("ground height file", path);
  return file.number({cameraSection(camera_id), "cam_height"});
}

}  // namespace quorvane::camera_config

void DepthCamera::getRemoveGroundPara()
{
  namespace config = quorvane::camera_config;
  remove_ground_params_ = config::readGroundRemovalParams(*node_, camera_id_);
  cloud_para_.depth_max = remove_ground_params_.point_cloud_max_range - cam_base_;
  config::echoGroundRemovalParams(camera_id_, remove_ground_params_);
}

void DepthCamera::getGroundHeightPara()
{
  namespace config = quorvane::camera_config;
  const std::string path =
    config::readParameter<std::string>(*node_, "ground_height_file", "ground_height_file");
  std::error_code ignored;
  if (!std::filesystem::exists(path, ignored)) {
    QLOG_ERROR("ground_height_file: {0:s} not exist, use default from remove_ground.yaml", path);
    return;
  }
  // Also on the console, whatever the logger's sinks: the calibration in use.
  std::cout << "ground_height_file: " << path << std::endl;
  QLOG_INFO("cam_{0:d}:ground_height_file = {1:s}", camera_id_, path);
  remove_ground_params_.cam_height = config::readCalibratedCamHeight(path, camera_id_);
  QLOG_INFO(
    "cam_{0:d}_calibration_ground_params_.cam_height = {1:05.4f}", camera_id_,
    remove_ground_params_.cam_height);
}

rcl_interfaces::msg::SetParametersResult DepthCamera::dynamicParametersCallback(
  std::vector<rclcpp::Parameter> parameters)
{
  // The batch before this one has been set or refused by now.
  settleGroundChange(true);
  std::lock_guard<std::mutex> lock(ground_fit_mutex_);
  auto params = remove_ground_params_;
  auto update = quorvane::camera_config::applyGroundParameters(parameters, camera_id_, params);
  if (update.changed()) {
    staged_ground_change_ = StagedGroundChange{params, std::move(update.applied)};
    ++staged_ground_generation_;
  }
  if (!update.accepted) {
    QLOG_WARN("cam_{0:d} refuses the new ground values: {1:s}", camera_id_, update.reason);
  }
  rcl_interfaces::msg::SetParametersResult result;
  result.successful = update.accepted;
  result.reason = update.reason;
  return result;
}

void DepthCamera::settleGroundChange(bool batch_over)
{
  std::vector<rclcpp::Parameter> values;
  uint64_t generation = 0;
  {
    std::lock_guard<std::mutex> lock(ground_fit_mutex_);
    if (!staged_ground_change_) {
      return;
    }
    values = staged_ground_change_->values;
    generation = staged_ground_generation_;
  }
  // Read without ground_fit_mutex_: a set holds the node's parameter lock
  // while the callbacks run, and they take ground_fit_mutex_.
  const bool held = std::all_of(
    values.begin(), values.end(), [this](const rclcpp::Parameter & value) {
      rclcpp::Parameter current;
      return node_->get_parameter(value.get_name(), current) &&
      current.get_parameter_value() == value.get_parameter_value();
    });
  std::lock_guard<std::mutex> lock(ground_fit_mutex_);
  if (!staged_ground_change_ || generation != staged_ground_generation_) {
    return;
  }
  if (held) {
    remove_ground_params_ = staged_ground_change_->params;
    // The depth callback rebuilds the ground fitter from the new record.
    update_ground_fit_ = true;
  } else if (!batch_over) {
    return;  // still being set, or refused: the next set settles it
  }
  staged_ground_change_.reset();
}

bool DepthCamera::groundFitUpdatePending() const
{
  std::lock_guard<std::mutex> lock(ground_fit_mutex_);
  return update_ground_fit_ || staged_ground_change_.has_value();
}
