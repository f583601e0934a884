#pragma once

#include <array>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "geometry_msgs/msg/pose.hpp"
#include "pelorin/perception/object_info.hpp"
#include "quorvane_protocol/msg/detected_wastes.hpp"
#include "rclcpp/publisher.hpp"
#include "visualization_msgs/msg/marker_array.hpp"

namespace pelorin
{
namespace perception
{

class TrashTrackTable;

// Trash in the map frame, shared by every camera. Update and Publish may be called
// from several threads at once.
class TrashTracker
{
public:
  // Throws std::runtime_error naming the file (and key) for a missing, unreadable or
  // invalid configuration.
  TrashTracker(std::string config_path,
               rclcpp::Publisher<quorvane_protocol::msg::DetectedWastes>::SharedPtr wastes_pub,
               rclcpp::Publisher<visualization_msgs::msg::MarkerArray>::SharedPtr marker_pub);
  ~TrashTracker();

  // Registers a camera: its optical frame in "base_footprint", image size, {fx, cx, fy, cy}.
  // Returns false (nothing registered) for unusable values.
  bool AddCamera(const geometry_msgs::msg::Pose& camera_in_base, int width, int height,
                 std::array<float, 4> intrinsics);

  // One camera frame's trash (map frame) and the robot pose in "map".
  void Update(const std::vector<ObjectInfo>& objects, const geometry_msgs::msg::Pose& robot_in_map);

  // Sends the confirmed tracks on both publishers.
  void Publish();

  // Number of confirmed tracks, for diagnostics.
  std::size_t ConfirmedCount() const;

private:
  mutable std::mutex mutex_;
  std::unique_ptr<TrashTrackTable> table_;
  rclcpp::Publisher<quorvane_protocol::msg::DetectedWastes>::SharedPtr wastes_pub_;
  rclcpp::Publisher<visualization_msgs::msg::MarkerArray>::SharedPtr marker_pub_;
};

}  // namespace perception
}  // namespace pelorin
