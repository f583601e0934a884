#pragma once

#include <cstddef>
#include <string>

#include "json_lines.hpp"
#include "quorvane_protocol/msg/detected_wastes.hpp"
#include "quorvane_protocol/msg/object_list.hpp"
#include "quorvane_protocol/msg/robot_event.hpp"
#include "quorvane_protocol/msg/semantic_point_cloud.hpp"

// The node's messages as JSON lines, each with the replayed frame it belongs
// to and its own stamp.  Classes carry their value and their name.
namespace replay
{

Json objectListJson(
  const quorvane_protocol::msg::ObjectList & message, const std::string & topic, std::size_t frame);
// Per item: class, whether a detection box made it, point count, centroid and
// extent (base frame).
Json semanticCloudJson(
  const quorvane_protocol::msg::SemanticPointCloud & cloud, const std::string & layer,
  std::size_t frame);
Json wastesJson(const quorvane_protocol::msg::DetectedWastes & wastes, std::size_t frame);
Json robotEventJson(const quorvane_protocol::msg::RobotEvent & event, std::size_t frame);

double seconds(const builtin_interfaces::msg::Time & stamp);

}  // namespace replay
