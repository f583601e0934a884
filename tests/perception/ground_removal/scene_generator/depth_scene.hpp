#pragma once

#include <cstdint>

#include "scene/cloud.hpp"
#include "scene/stock_rooms.hpp"

// The former ground-scene interface, rendered by tools/scene.
namespace ground_scene
{

using scene::clutteredRoom;
using scene::LabelledCloud;

// A forward-looking depth camera on the robot, pitched down.
struct Camera
{
  int width = 640;
  int height = 400;
  float fx = 380.0f, fy = 380.0f, cx = 319.5f, cy = 199.5f;
  float x = 0.10f;             // ahead of the base origin
  float mount_height = 0.35f;  // above the floor
  float pitch = 0.45f;         // radians, down
  float depth_noise = 0.005f;  // standard deviation, metres
  float max_depth = 2.0f;      // farther pixels have no depth
  int stride = 2;              // one pixel per stride x stride block
};

// The camera's cloud in its optical frame, with depth noise.
LabelledCloud renderDepthCloud(const scene::Room & room, const Camera & camera, uint32_t seed);

}  // namespace ground_scene
