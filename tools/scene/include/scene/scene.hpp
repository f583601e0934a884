#pragma once

#include <vector>

#include "scene/camera.hpp"
#include "scene/robot.hpp"
#include "scene/room.hpp"

namespace scene
{

// A whole set-up: the room, the robot's path through it and its cameras.
struct Scene
{
  Room room;
  RobotPath robot;
  FrameTree frames;
  std::vector<Camera> cameras;
};

}  // namespace scene
