#pragma once

#include <memory>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include <yaml-cpp/yaml.h>

#include "pelorin/model/yolov8_seg.hpp"
#include "pelorin/perception/records.hpp"
#include "quorvane_object_detect/cloud.hpp"
#include "quorvane_object_detect/semantic_type.hpp"
#include "rclcpp/parameter.hpp"
#include "rclcpp_lifecycle/lifecycle_node.hpp"

// The pieces of a camera's configuration that do not need the camera itself:
// parameter reads, YAML files and the echo of the effective values.  The
// DepthCamera readers are built from them.
namespace quorvane::camera_config
{

// A configuration file that cannot be used.  The text names the file and,
// where one is at fault, the key, so the start-up error says what to fix.
class ConfigFileError : public std::runtime_error
{
public:
  using std::runtime_error::runtime_error;
};

// The package's share directory + "/config/" + name.  The prefix is put in
// front of every name, an absolute one too.
std::string packageConfigPath(const std::string & name);

// "camera_0" + the camera number: camera_01, camera_010.
std::string cameraSection(int camera_id);

// One YAML configuration file.  `role` names it in errors ("cluster file").
class ConfigFile
{
public:
  ConfigFile(std::string role, std::string path);

  const YAML::Node & root() const {return root_;}
  const std::string & path() const {return path_;}

  // The scalar at the nested `keys`, converted; missing, non-scalar or
  // unconvertible values raise ConfigFileError naming the dotted key.
  float number(const std::vector<std::string> & keys) const;
  int integer(const std::vector<std::string> & keys) const;

  [[noreturn]] void fail(const std::string & why) const;

private:
  YAML::Node scalar(const std::vector<std::string> & keys) const;

  std::string role_;
  std::string path_;
  YAML::Node root_;
};

// Parameter read with a coded default: absent keys give `fallback`; a key of
// another type raises rclcpp::exceptions::InvalidParameterTypeException.
template<typename T>
T readParameter(
  const rclcpp_lifecycle::LifecycleNode & node, const std::string & key, const T & fallback)
{
  T value = fallback;
  node.get_parameter(key, value);  // leaves `value` alone when the key is absent
  return value;
}

// Class names to class values; names that are no class are dropped.
std::set<int> parseClassList(const std::vector<std::string> & names);
// "NAME1,NAME2," in ascending value order: the body of a class-set echo line.
std::string classListText(const std::set<int> & classes);

// The flat camera keys (the same for every camera).
struct FlatParameters
{
  bool debug = true;
  bool data_flow_trace = false;
  bool use_ai_thread = false;
  bool close_ai_detect = false;
  int remove_ground_method = 0;
  int box_enlarge_size = 3;
  float depth_rgb_time_diff = 0.08F;
  int depth_rgb_wait_time_ms = 50;
  int rgb_buffer_size = 15;
  int dangerous_sample_kernel_size = 2;
  int grid_width = 100;
  int grid_height = 0;
  float grid_resolution = 0.05F;
  int kernel_size = 5;
  int lethal_iter = 1;
  int dangerous_iter = 1;
  int dangerous_region_erode_kernel_size = 1;
  int statistics_dangerous_region_detect_status_num = 20;
  float dangerous_dilate_offset = 0.1F;
  float lethal_dilate_offset = 0.1F;
  std::set<int> dangerous_class_type;
  std::set<int> no_remove_ground_class_type;
  std::set<int> groud_stain_class_type;
  std::set<int> dynamic_obstacle_class_type;
  std::set<int> static_obstacle_class_type;
  CloudPara cloud;  // every field but depth_max
  int sample_kernel_size = 2;
  float trash_distance_threshold = 1.5F;
  float robot_angular_threshold = 0.5F;
  int bbox_edge_threshold = 5;
  std::set<int> trash_class_type;
};

FlatParameters readFlatParameters(const rclcpp_lifecycle::LifecycleNode & node);

// The 42 start-up lines of the flat parameters; cam_base, the two-camera
// switch and depth_max are the camera's own values at that moment.
void echoFlatParameters(
  int camera_id, const FlatParameters & parameters, float cam_base,
  bool dangerous_use_two_camera, float depth_max);

// The camera's eighteen ground-removal keys ("cam" + N + field; field 4 is
// read at start-up as "cam" + N + "_.segmentation_bin_len").
pelorin::perception::GroundRemovalParams readGroundRemovalParams(
  const rclcpp_lifecycle::LifecycleNode & node, int camera_id);
void echoGroundRemovalParams(
  int camera_id, const pelorin::perception::GroundRemovalParams & params);

// Applies the run-time changes of the camera's eighteen keys ("cam" + N +
// "." + field) in a batch of parameters; other names are accepted and left
// alone.  A batch giving one of the eighteen keys a value that is no number,
// or values the ground fit cannot be built from, is refused whole with the
// reason, and `params` is left untouched.
struct GroundUpdate
{
  bool accepted = true;
  std::string reason;                       // why the batch was refused
  std::vector<rclcpp::Parameter> applied;   // the camera's keys of the batch, as set
  bool changed() const {return !applied.empty();}
};
GroundUpdate applyGroundParameters(
  const std::vector<rclcpp::Parameter> & parameters, int camera_id,
  pelorin::perception::GroundRemovalParams & params);

// The calibrated camera height of camera N in the ground-height file.
float readCalibratedCamHeight(const std::string & path, int camera_id);

// The three clustering keys of the cluster file.
pelorin::perception::CloudClusterPara readCloudClusterFile(const std::string & path);

// Camera N's section of the dynamic-detector file; undefined when the file has
// none (the detector then takes its defaults).
YAML::Node detectorSection(const ConfigFile & file, int camera_id);

// The AI configuration of camera N from the meta and height files; problems
// in the meta file's class sections are logged as one ERROR line, and the
// mapping, thresholds and height ranges are echoed.
std::shared_ptr<semantic::AiConfig> loadAiConfig(
  int camera_id, const ConfigFile & meta, const ConfigFile & height);

// The segmentation model the meta file selects ("model_name" exactly
// "yolov8_seg"), or empty.  A relative "model_file" is taken from the meta
// file's folder.  A model that cannot be built raises ConfigFileError.
std::shared_ptr<pelorin::model::YOLOv8Seg> makeSegmentationModel(const ConfigFile & meta);

}  // namespace quorvane::camera_config
