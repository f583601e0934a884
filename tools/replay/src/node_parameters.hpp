#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "rclcpp/rclcpp.hpp"
#include "rclcpp_lifecycle/lifecycle_node.hpp"
#include "scene/scene.hpp"

// The node's parameters in a replay, in the order they apply: the shipped
// parameters file, the tool's demo settings, the user's --params file, then
// what the replay itself needs.
namespace replay
{

// config/object_detect.yaml of the source tree.
std::string shippedParameters();

// A parameters file of the demo settings: the build's colour-patch model meta
// file (the shipped path is relative to the source folder), bottle and paper
// cup as trash, and coffee kept out of ground removal so that stains reach
// the stain cloud.
void writeDemoParameters(const std::string & file);

// Simulated time, one camera per camera of `rig`, the heights file.
std::vector<rclcpp::Parameter> replayParameters(
  const scene::Scene & rig, const std::string & heights_file);

// The calibrated-heights file the node reads ("camera_0N: cam_height: h"),
// from the mounts of `rig`.
void writeCameraHeights(const scene::Scene & rig, const std::string & file);

// The largest "cam<N>.point_cloud_max_range" of cameras 1 to `cameras` as the
// node read it (metres): how far ahead the node keeps points.  0 when none is set.
double largestRange(const rclcpp_lifecycle::LifecycleNode & node, std::size_t cameras);

}  // namespace replay
