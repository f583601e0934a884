#include "node_parameters.hpp"

#include <algorithm>
#include <fstream>
#include <stdexcept>

#include <fmt/format.h>
#include <yaml-cpp/yaml.h>

namespace replay
{
namespace
{

void write(const std::string & file, const std::string & text)
{
  std::ofstream out(file);
  if (!out) {
    throw std::runtime_error("cannot write " + file);
  }
  out << text;
}

}  // namespace

std::string shippedParameters()
{
  return std::string(QUORVANE_SOURCE_DIR) + "/config/object_detect.yaml";
}

void writeDemoParameters(const std::string & file)
{
  YAML::Emitter yaml;
  yaml << YAML::BeginMap << YAML::Key << "object_detect" << YAML::Value << YAML::BeginMap
       << YAML::Key << "ros__parameters" << YAML::Value << YAML::BeginMap
       << YAML::Key << "model_meta_file"
       << YAML::Value << std::string(QUORVANE_BINARY_DIR) + "/config/colour_patch_seg_meta.yaml"
       << YAML::Key << "no_remove_ground_class_type" << YAML::Value << YAML::Flow
       << std::vector<std::string>{"BASE", "BLOOD", "CARPET", "MASK", "BOTTLE", "PAPER_CUP",
    "COFFEE"}
       << YAML::Key << "trash_detection" << YAML::Value << YAML::BeginMap
       << YAML::Key << "trash_class_type" << YAML::Value << YAML::Flow
       << std::vector<std::string>{"BOTTLE", "PAPER_CUP"}
       << YAML::EndMap << YAML::EndMap << YAML::EndMap << YAML::EndMap;
  write(file, "# Demo settings of object_detect_replay, over the shipped parameters file;\n"
    "# a --params file goes over these.\n" + std::string(yaml.c_str()) + "\n");
}

std::vector<rclcpp::Parameter> replayParameters(
  const scene::Scene & rig, const std::string & heights_file)
{
  return {
    {"use_sim_time", true},
    {"cameras", static_cast<int>(rig.cameras.size())},
    {"ground_height_file", heights_file}};
}

void writeCameraHeights(const scene::Scene & rig, const std::string & file)
{
  std::string text = "# Camera heights above the floor, from the replayed mounts.\n";
  for (std::size_t i = 0; i < rig.cameras.size(); ++i) {
    text += fmt::format("camera_{:02d}:\n  cam_height: {}\n", i + 1,
        rig.cameras[i].base_from_optical.translation().z());
  }
  write(file, text);
}

double largestRange(const rclcpp_lifecycle::LifecycleNode & node, std::size_t cameras)
{
  double largest = 0.0;
  for (std::size_t i = 1; i <= cameras; ++i) {
    rclcpp::Parameter range;
    if (!node.get_parameter("cam" + std::to_string(i) + ".point_cloud_max_range", range)) {
      continue;
    }
    // A whole number in a parameters file arrives as an integer.
    if (range.get_type() == rclcpp::ParameterType::PARAMETER_DOUBLE) {
      largest = std::max(largest, range.as_double());
    } else if (range.get_type() == rclcpp::ParameterType::PARAMETER_INTEGER) {
      largest = std::max(largest, static_cast<double>(range.as_int()));
    }
  }
  return largest;
}

}  // namespace replay
