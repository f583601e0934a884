#include "trash_track_table.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <tuple>

namespace pelorin
{
namespace perception
{
namespace
{

constexpr double kUnlimited = std::numeric_limits<double>::infinity();

std::array<float, 3> CleanSize(const std::vector<float>& size)
{
  std::array<float, 3> out{{-1.0F, -1.0F, -1.0F}};
  for (std::size_t i = 0; i < out.size() && i < size.size(); ++i) {
    if (std::isfinite(size[i]) && size[i] >= 0.0F) {
      out[i] = size[i];
    }
  }
  return out;
}

}  // namespace

TrashTrackTable::TrashTrackTable(const TrackerConfig& config)
: config_(config)
{
}

bool TrashTrackTable::AddCamera(const CameraView& view)
{
  const bool usable = view.base_from_camera.matrix().allFinite() && view.width > 0 &&
                      view.height > 0 && std::isfinite(view.fx) && std::isfinite(view.fy) &&
                      std::isfinite(view.cx) && std::isfinite(view.cy) && view.fx > 0.0 &&
                      view.fy > 0.0;
  if (usable) {
    cameras_.push_back(view);
  }
  return usable;
}

std::vector<const CameraView*> TrashTrackTable::SourceCameras(
  const std::vector<Observation>& observations, const Eigen::Isometry3d& map_from_base) const
{
  // The frame came from the cameras that have every observation in their image at the
  // distance it was measured from.
  std::vector<const CameraView*> consistent;
  for (const CameraView& view : cameras_) {
    const Eigen::Vector3d centre = CameraCentre(view, map_from_base);
    bool fits = false;
    bool contradicts = false;
    for (const Observation& o : observations) {
      if (std::isfinite(o.distance)) {
        const double range_error = std::abs((o.position - centre).norm() - o.distance);
        const bool close = range_error <= config_.source_distance_tolerance &&
                           InView(view, map_from_base, o.position, 0.0, kUnlimited, 0);
        fits = fits || close;
        contradicts = contradicts || !close;
      }
    }
    if (fits && !contradicts) {
      consistent.push_back(&view);
    }
  }
  if (consistent.empty()) {
    for (const CameraView& view : cameras_) {
      consistent.push_back(&view);
    }
  }
  return consistent;
}

void TrashTrackTable::Absorb(TrashTrack& track, const Observation& o, double now) const
{
  // Running mean while young, then a fixed weight so the track follows small corrections.
  const double w = std::max(config_.position_smoothing, 1.0 / (track.hits + 1));
  track.position += w * (o.position - track.position);
  const float ws = static_cast<float>(std::max(config_.size_smoothing, 1.0 / (track.hits + 1)));
  for (std::size_t i = 0; i < track.size.size(); ++i) {
    if (o.size[i] >= 0.0F) {
      const float old = track.size[i];
      track.size[i] = old < 0.0F ? o.size[i] : old + ws * (o.size[i] - old);
    }
  }
  ++track.hits;
  track.misses = 0;
  track.last_seen = now;
  track.confirmed = track.confirmed || track.hits >= config_.confirm_hits;
}

void TrashTrackTable::Update(const std::vector<ObjectInfo>& observations,
                             const Eigen::Isometry3d& map_from_base, bool pose_valid, double now)
{
  std::vector<Observation> valid;
  for (const ObjectInfo& info : observations) {
    const Eigen::Vector3d p(info.position[0], info.position[1], info.position[2]);
    if (!p.allFinite()) {
      continue;
    }
    const double distance = std::isfinite(info.distance) && info.distance > 0.0F ?
                            static_cast<double>(info.distance) : std::nan("");
    valid.push_back({info.class_id, p, distance, CleanSize(info.size)});
  }

  // Greedy nearest-first assignment within the gate, one observation per track.
  std::vector<std::tuple<double, std::size_t, std::size_t>> pairs;
  for (std::size_t o = 0; o < valid.size(); ++o) {
    for (std::size_t t = 0; t < tracks_.size(); ++t) {
      const double d = (valid[o].position - tracks_[t].position).norm();
      if (tracks_[t].class_id == valid[o].class_id && d <= config_.association_distance) {
        pairs.emplace_back(d, o, t);
      }
    }
  }
  std::sort(pairs.begin(), pairs.end());
  std::vector<bool> observation_used(valid.size(), false);
  std::vector<bool> track_seen(tracks_.size(), false);
  for (const auto& [d, o, t] : pairs) {
    (void)d;
    if (!observation_used[o] && !track_seen[t]) {
      observation_used[o] = true;
      track_seen[t] = true;
      Absorb(tracks_[t], valid[o], now);
    }
  }

  if (pose_valid && !cameras_.empty()) {
    const std::vector<const CameraView*> sources = SourceCameras(valid, map_from_base);
    for (std::size_t t = 0; t < tracks_.size(); ++t) {
      const bool expected = !track_seen[t] && std::all_of(sources.begin(), sources.end(),
        [&](const CameraView* view) {
          return InView(*view, map_from_base, tracks_[t].position, config_.view_min_range,
                        config_.view_max_range, config_.view_border_px);
        });
      tracks_[t].misses += expected ? 1 : 0;
    }
  }

  for (std::size_t o = 0; o < valid.size(); ++o) {
    if (!observation_used[o] && static_cast<int>(tracks_.size()) < config_.max_tracks) {
      TrashTrack track;
      track.id = next_id_++;
      track.class_id = valid[o].class_id;
      track.position = valid[o].position;
      Absorb(track, valid[o], now);
      tracks_.push_back(track);
    }
  }

  tracks_.erase(std::remove_if(tracks_.begin(), tracks_.end(), [&](const TrashTrack& t) {
      const double age = now - t.last_seen;
      return t.misses >= config_.max_misses || age > config_.max_age ||
             (!t.confirmed && age > config_.tentative_max_age);
    }), tracks_.end());
  MergeCloseTracks();
}

void TrashTrackTable::MergeCloseTracks()
{
  for (std::size_t a = 0; a < tracks_.size(); ++a) {
    for (std::size_t b = a + 1; b < tracks_.size(); ) {
      TrashTrack& keep = tracks_[a];
      TrashTrack& other = tracks_[b];
      if (keep.class_id != other.class_id ||
          (keep.position - other.position).norm() > config_.merge_distance)
      {
        ++b;
        continue;
      }
      // The older track keeps its id; the position is weighted by the observations.
      if (other.id < keep.id) {
        std::swap(keep.id, other.id);
      }
      const double total = keep.hits + other.hits;
      keep.position = (keep.position * keep.hits + other.position * other.hits) / total;
      for (std::size_t i = 0; i < keep.size.size(); ++i) {
        keep.size[i] = keep.size[i] < 0.0F ? other.size[i] : keep.size[i];
      }
      keep.hits += other.hits;
      keep.misses = std::min(keep.misses, other.misses);
      keep.confirmed = keep.confirmed || other.confirmed || keep.hits >= config_.confirm_hits;
      keep.last_seen = std::max(keep.last_seen, other.last_seen);
      tracks_.erase(tracks_.begin() + static_cast<std::ptrdiff_t>(b));
    }
  }
}

std::vector<TrashTrack> TrashTrackTable::ConfirmedTracks() const
{
  std::vector<TrashTrack> confirmed;
  for (const TrashTrack& t : tracks_) {
    if (t.confirmed) {
      confirmed.push_back(t);
    }
  }
  return confirmed;
}

}  // namespace perception
}  // namespace pelorin
