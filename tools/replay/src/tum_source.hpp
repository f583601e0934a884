#pragma once

#include <string>
#include <vector>

#include "camera_settings.hpp"
#include "frame_source.hpp"

namespace replay
{

// One depth image of a TUM folder with the colour image played with it.
struct TumEntry
{
  double depth_stamp = 0.0;
  std::string depth_path;
  double colour_stamp = 0.0;
  std::string colour_path;
};

// "timestamp filename" lines of rgb.txt and depth.txt, every depth image with
// the colour image the node pairs it with: the nearest in time, the earlier
// of two as near (real recordings drop frames and run their streams at
// different rates).  Relative names are taken from `folder`.
std::vector<TumEntry> tumEntries(const std::string & folder);

// A TUM RGB-D folder played as camera 1.  groundtruth.txt, when present, moves
// the robot: odom is where the base stood at the first frame, and the base
// follows the camera's recorded pose through its mount, kept on the floor.
// Throws std::runtime_error naming what is missing.
class TumSource : public FrameSource
{
public:
  TumSource(const std::string & folder, const RecordedCamera & camera);

  std::string name() const override {return "TUM folder " + folder_;}
  const scene::Scene & rig() const override {return rig_;}
  std::size_t size() const override {return entries_.size();}
  SourceFrame frame(std::size_t index) const override;

private:
  std::string folder_;
  std::vector<TumEntry> entries_;
  double depth_units_per_metre_;
  scene::Scene rig_;
};

}  // namespace replay
