#pragma once

#include "options.hpp"
#include "scene/camera.hpp"

namespace replay
{

// The camera of a recorded folder: intrinsics, mount and depth units.
struct RecordedCamera
{
  scene::Camera camera;  // image size left to the first depth image
  double depth_units_per_metre = 5000.0;  // TUM's depth scale
};

// From the --camera YAML, then the command-line values over it.  Mount
// defaults: 0.45 m above the floor, level, looking ahead.  Throws UsageError
// naming the file or value that is wrong.
RecordedCamera recordedCamera(const CameraArguments & arguments);

}  // namespace replay
