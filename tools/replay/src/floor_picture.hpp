#pragma once

#include <cstddef>
#include <vector>

#include "recorder.hpp"
#include "scene/scene.hpp"
#include "top_down.hpp"

namespace replay
{

// What the picture of frame `frame` shows, in that frame's base_footprint:
// each camera's outputs of the last three frames (the region worker and the
// trash thread lag behind the frame), carried along the robot's path, the
// object-list boxes and field of view of the frame itself, and the tracker's
// latest trash moved from "map".  frame_times[i] is the path time of frame i.
TopDownContent floorPicture(const Recorder & recorder, const scene::Scene & rig,
  const std::vector<double> & frame_times, std::size_t frame);

}  // namespace replay
