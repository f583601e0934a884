#pragma once

#include <string>

namespace pelorin
{
namespace perception
{

// Settings of the trash tracker (keys of its YAML file, same names).
struct TrackerConfig
{
  double association_distance = 0.30;  // m, gate between an observation and a track of its class
  double merge_distance = 0.15;        // m, tracks of one class closer than this become one
  int confirm_hits = 3;                // observations before a track is published
  int max_misses = 5;                  // updates in view without the track before it is dropped
  double tentative_max_age = 5.0;      // s an unconfirmed track waits for its next observation
  double max_age = 600.0;              // s since the last observation before any track is dropped
  double position_smoothing = 0.3;     // weight of a new observation once a track is settled
  double size_smoothing = 0.3;         // the same for the size
  double view_min_range = 0.2;         // m, nearer trash is not expected to be seen
  double view_max_range = 1.5;         // m, farther trash is not expected to be seen
  int view_border_px = 20;             // pixels near the image border that do not count as seen
  double source_distance_tolerance = 0.10;  // m, to tell which camera made an observation
  int max_tracks = 200;                // new tracks are refused beyond this count
};

// Reads the file; absent keys keep their defaults. Throws std::runtime_error naming the
// file (and the key) when the file is missing, unreadable, not a mapping, holds an unknown
// key, or a value of the wrong type or out of range.
TrackerConfig LoadTrackerConfig(const std::string& path);

}  // namespace perception
}  // namespace pelorin
