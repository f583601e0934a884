#include "pelorin/perception/trash_tracker.hpp"

#include <chrono>
#include <cmath>
#include <utility>

#include "trash_track_messages.hpp"
#include "trash_track_table.hpp"

namespace pelorin
{
namespace perception
{
namespace
{

bool ToIsometry(const geometry_msgs::msg::Pose& pose, Eigen::Isometry3d& out)
{
  const Eigen::Vector3d t(pose.position.x, pose.position.y, pose.position.z);
  Eigen::Quaterniond q(pose.orientation.w, pose.orientation.x, pose.orientation.y,
                       pose.orientation.z);
  const double norm = q.norm();
  if (!t.allFinite() || !std::isfinite(norm) || norm < 1e-6) {
    return false;
  }
  q.coeffs() /= norm;
  out = Eigen::Isometry3d::Identity();
  out.linear() = q.toRotationMatrix();
  out.translation() = t;
  return true;
}

// Ageing needs a clock that never jumps.
double SteadySeconds()
{
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
         .count();
}

builtin_interfaces::msg::Time WallStamp()
{
  const auto since_epoch = std::chrono::system_clock::now().time_since_epoch();
  const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(since_epoch).count();
  builtin_interfaces::msg::Time stamp;
  stamp.sec = static_cast<int32_t>(ns / 1000000000LL);
  stamp.nanosec = static_cast<uint32_t>(ns % 1000000000LL);
  return stamp;
}

}  // namespace

TrashTracker::TrashTracker(
  std::string config_path,
  rclcpp::Publisher<quorvane_protocol::msg::DetectedWastes>::SharedPtr wastes_pub,
  rclcpp::Publisher<visualization_msgs::msg::MarkerArray>::SharedPtr marker_pub)
: table_(std::make_unique<TrashTrackTable>(LoadTrackerConfig(config_path))),
  wastes_pub_(std::move(wastes_pub)),
  marker_pub_(std::move(marker_pub))
{
}

TrashTracker::~TrashTracker() = default;

bool TrashTracker::AddCamera(const geometry_msgs::msg::Pose& camera_in_base, int width, int height,
                             std::array<float, 4> intrinsics)
{
  CameraView view;
  if (!ToIsometry(camera_in_base, view.base_from_camera)) {
    return false;
  }
  view.width = width;
  view.height = height;
  view.fx = intrinsics[0];
  view.cx = intrinsics[1];
  view.fy = intrinsics[2];
  view.cy = intrinsics[3];
  std::lock_guard<std::mutex> lock(mutex_);
  return table_->AddCamera(view);
}

void TrashTracker::Update(const std::vector<ObjectInfo>& objects,
                          const geometry_msgs::msg::Pose& robot_in_map)
{
  Eigen::Isometry3d map_from_base = Eigen::Isometry3d::Identity();
  const bool pose_valid = ToIsometry(robot_in_map, map_from_base);
  std::lock_guard<std::mutex> lock(mutex_);
  table_->Update(objects, map_from_base, pose_valid, SteadySeconds());
}

void TrashTracker::Publish()
{
  // Held while sending, so that the messages of concurrent callers leave in state order.
  std::lock_guard<std::mutex> lock(mutex_);
  const std::vector<TrashTrack> tracks = table_->ConfirmedTracks();
  const builtin_interfaces::msg::Time stamp = WallStamp();
  if (wastes_pub_) {
    wastes_pub_->publish(ToDetectedWastes(tracks, stamp));
  }
  if (marker_pub_) {
    marker_pub_->publish(ToMarkers(tracks, stamp));
  }
}

std::size_t TrashTracker::ConfirmedCount() const
{
  std::lock_guard<std::mutex> lock(mutex_);
  return table_->ConfirmedTracks().size();
}

}  // namespace perception
}  // namespace pelorin
