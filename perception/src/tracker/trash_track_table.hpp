#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include <Eigen/Geometry>

#include "camera_view.hpp"
#include "pelorin/perception/object_info.hpp"
#include "tracker_config.hpp"

namespace pelorin
{
namespace perception
{

struct TrashTrack
{
  uint32_t id = 0;
  int32_t class_id = 0;
  Eigen::Vector3d position = Eigen::Vector3d::Zero();  // map frame
  std::array<float, 3> size{{-1.0F, -1.0F, -1.0F}};    // length, width, height; -1 unmeasured
  int hits = 0;
  int misses = 0;
  bool confirmed = false;
  double last_seen = 0.0;  // seconds of the caller's clock
};

// The tracks of trash in the map frame, fed by every camera. Not thread-safe by
// itself: the tracker serialises the calls.
class TrashTrackTable
{
public:
  explicit TrashTrackTable(const TrackerConfig& config);

  // False (and nothing registered) for unusable geometry.
  bool AddCamera(const CameraView& view);

  // One camera's frame: its observations and the robot pose in the map at that time.
  // With pose_valid false the observations are still used, but nothing counts as missed.
  void Update(const std::vector<ObjectInfo>& observations, const Eigen::Isometry3d& map_from_base,
              bool pose_valid, double now);

  std::vector<TrashTrack> ConfirmedTracks() const;
  const std::vector<TrashTrack>& tracks() const {return tracks_;}

private:
  struct Observation
  {
    int32_t class_id;
    Eigen::Vector3d position;
    double distance;  // to the observing camera, NaN when unknown
    std::array<float, 3> size;
  };

  std::vector<const CameraView*> SourceCameras(const std::vector<Observation>& observations,
                                               const Eigen::Isometry3d& map_from_base) const;
  void Absorb(TrashTrack& track, const Observation& observation, double now) const;
  void MergeCloseTracks();

  TrackerConfig config_;
  std::vector<CameraView> cameras_;
  std::vector<TrashTrack> tracks_;
  uint32_t next_id_ = 1;
};

}  // namespace perception
}  // namespace pelorin
