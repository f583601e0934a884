#include "tracker_config.hpp"

#include <filesystem>
#include <stdexcept>

#include <yaml-cpp/yaml.h>

#include "yaml_value.hpp"

namespace pelorin
{
namespace perception
{
namespace
{

TrackerConfig ParseTrackerConfig(const YAML::Node& root)
{
  TrackerConfig c;
  if (root.IsNull()) {
    return c;
  }
  if (!root.IsMap()) {
    throw std::runtime_error("the top level is not a mapping");
  }
  RejectUnknownKeys(root, {"association_distance", "merge_distance", "confirm_hits",
                           "max_misses", "tentative_max_age", "max_age", "position_smoothing",
                           "size_smoothing", "view_min_range", "view_max_range",
                           "view_border_px", "source_distance_tolerance", "max_tracks"});
  const double kBig = 1e6;
  ReadOptionalInRange(root, "association_distance", c.association_distance, 0.0, 100.0);
  ReadOptionalInRange(root, "merge_distance", c.merge_distance, 0.0, 100.0);
  ReadOptionalInRange(root, "confirm_hits", c.confirm_hits, 1, 1000000);
  ReadOptionalInRange(root, "max_misses", c.max_misses, 1, 1000000);
  ReadOptionalInRange(root, "tentative_max_age", c.tentative_max_age, 0.0, kBig);
  ReadOptionalInRange(root, "max_age", c.max_age, 0.0, kBig);
  ReadOptionalInRange(root, "position_smoothing", c.position_smoothing, 0.01, 1.0);
  ReadOptionalInRange(root, "size_smoothing", c.size_smoothing, 0.01, 1.0);
  ReadOptionalInRange(root, "view_min_range", c.view_min_range, 0.0, 100.0);
  ReadOptionalInRange(root, "view_max_range", c.view_max_range, c.view_min_range, 100.0);
  ReadOptionalInRange(root, "view_border_px", c.view_border_px, 0, 10000);
  ReadOptionalInRange(root, "source_distance_tolerance", c.source_distance_tolerance, 0.0, 100.0);
  ReadOptionalInRange(root, "max_tracks", c.max_tracks, 1, 100000);
  return c;
}

}  // namespace

TrackerConfig LoadTrackerConfig(const std::string& path)
{
  YAML::Node root;
  std::error_code ignored;
  if (std::filesystem::is_directory(path, ignored)) {
    throw std::runtime_error("trash tracker configuration " + path + ": is a directory");
  }
  try {
    root = YAML::LoadFile(path);
  } catch (const YAML::Exception& e) {
    throw std::runtime_error("trash tracker configuration " + path + ": " + e.what());
  }
  try {
    return ParseTrackerConfig(root);
  } catch (const std::runtime_error& e) {
    throw std::runtime_error("trash tracker configuration " + path + ": " + e.what());
  }
}

}  // namespace perception
}  // namespace pelorin
