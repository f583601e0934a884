#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "scene/render.hpp"
#include "scene/scene.hpp"

namespace replay
{

// What one frame of a source holds: the time on its robot path, the stamps
// of its messages, and one view per camera.
struct SourceFrame
{
  double t = 0.0;
  double stamp = 0.0;         // clock, robot, camera info and depth
  double colour_stamp = 0.0;  // colour images
  std::vector<scene::Frame> views;
};

// Frames to play into the node.  rig() gives the cameras (frame ids,
// intrinsics, mounts), the robot's path over t and map -> odom_fusion -> odom.
class FrameSource
{
public:
  virtual ~FrameSource() = default;
  virtual std::string name() const = 0;
  virtual const scene::Scene & rig() const = 0;
  virtual std::size_t size() const = 0;
  virtual SourceFrame frame(std::size_t index) const = 0;
};

}  // namespace replay
