#pragma once

#include "scene/scene.hpp"

// The built-in replay: a room the robot drives through for 20 s, seen by two
// cameras, with something for every output of the node.
namespace replay
{

// Object and floor-patch ids of the built-in scene.
enum SceneId
{
  kPersonId = 1,
  kBottleId,
  kCupId,
  kBaseId,
  kCabinetId,
  kChairId,
  kStainId,
  kEscalatorId,
};

constexpr double kSceneSeconds = 20.0;
constexpr double kSceneRate = 15.0;  // frames per second of scene time

// The robot drives 2.4 m ahead, turns left and drives on; a person walks
// ahead on its right.  Ids as in SceneId; colours as the colour-patch
// model reads them (red person, green bottle, yellow cup, cyan docking base,
// magenta coffee, blue escalator entrance).
scene::Scene defaultScene();

}  // namespace replay
