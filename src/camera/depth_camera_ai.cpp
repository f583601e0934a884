#include <exception>
#include <filesystem>

#include "quorvane_object_detect/camera_config.hpp"
#include "quorvane_object_detect/depth_camera.hpp"
#include "quorvane_object_detect/logger.hpp"
#include "quorvane_object_detect/semantic_type.hpp"

namespace quorvane::camera_config
{

namespace
{

// The lines belong to the start-up step that sets up the AI model.
constexpr const char * kAiStep = "initializeAi";

}  // namespace

std::shared_ptr<semantic::AiConfig> loadAiConfig(
  int camera_id, const ConfigFile & meta, const ConfigFile & height)
{
  std::string error;
  auto config = std::make_shared<semantic::AiConfig>(meta.root(), height.root(), &error);
  if (!error.empty()) {
    QLOG_AS(
      kAiStep, spdlog::level::err, "cam_{0:d} init AiConfig get error: {1:s}", camera_id, error);
  }
  for (size_t label = 0; label < config->class_mapping.size(); ++label) {
    const double threshold = label < config->confidence_threshold.size() ?
      config->confidence_threshold[label] : 0.0;
    QLOG_AS(
      kAiStep, spdlog::level::info,
      "cam_{0:d} ai_conf_.parser label {1:d}, type {2:s}, thresh {3:05.4f}.",
      camera_id, label, semantic::SemanticTypeName(config->class_mapping[label]), threshold);
  }
  for (const auto & [type, range] : config->height_range) {
    QLOG_AS(
      kAiStep, spdlog::level::info,
      "cam_{0:d} ai_conf_.map type {1:d}, min {2:05.4f}, max {3:05.4f}.",
      camera_id, type, range.min, range.max);
  }
  return config;
}

std::shared_ptr<pelorin::model::YOLOv8Seg> makeSegmentationModel(const ConfigFile & meta)
{
  if (!meta.root().IsMap()) {
    return nullptr;
  }
  const YAML::Node name = meta.root()["model_name"];
  if (!name.IsDefined() || !name.IsScalar() || name.Scalar() != "yolov8_seg") {
    return nullptr;
  }
  YAML::Node model_meta = YAML::Clone(meta.root());
  model_meta[pelorin::model::kMetaFileDirKey] =
    std::filesystem::path(meta.path()).parent_path().string();
  try {
    return std::make_shared<pelorin::model::YOLOv8Seg>(model_meta);
  } catch (const std::exception & e) {
    meta.fail(e.what());
  }
}

}  // namespace quorvane::camera_config

namespace
{

// Both files are needed: an unset key would hand the loader no file (the meta
// key) or the bare config folder (the height key).
std::string requiredFileParameter(
  const rclcpp_lifecycle::LifecycleNode & node, const std::string & key, const std::string & what)
{
  const auto value = quorvane::camera_config::readParameter<std::string>(node, key, "");
  if (value.empty()) {
    throw quorvane::camera_config::ConfigFileError(
            "parameter \"" + key + "\" is not set: it names the " + what);
  }
  return value;
}

}  // namespace

void DepthCamera::initializeAi()
{
  namespace config = quorvane::camera_config;
  const config::ConfigFile meta(
    "model meta file", requiredFileParameter(*node_, "model_meta_file", "model meta file"));
  const config::ConfigFile height(
    "model height file", config::packageConfigPath(
      requiredFileParameter(*node_, "model_height_file", "model height file")));
  ai_conf_ = config::loadAiConfig(camera_id_, meta, height);
  if (auto model = config::makeSegmentationModel(meta)) {
    ai_model_ = model;
  }
}
