#pragma once

#include <optional>
#include <vector>

#include <Eigen/Geometry>

#include "scene/colour.hpp"

// What the cameras see: floor, walls and objects in "odom" (x forward, y
// left, z up, floor at z = 0).  Where the robot starts at the odom origin,
// odom is its base_footprint frame.
namespace scene
{

// Ground-truth surface ids.  Objects and floor patches carry ids > 0.
constexpr int kNothing = 0;  // the ray leaves the room
constexpr int kFloor = -1;
constexpr int kRamp = -2;
constexpr int kWall = -3;    // walls and ceiling
constexpr int kMixed = -4;   // a voxel of points from several surfaces

enum class Shape { kBox, kCylinder };

// A solid: a box, or a cylinder along its own z axis (radius half_size.x()).
struct Object
{
  int id = 1;
  Rgb colour = kBrown;
  Shape shape = Shape::kBox;
  Eigen::Vector3f centre = Eigen::Vector3f::Zero();     // at t = 0
  Eigen::Vector3f half_size = Eigen::Vector3f::Zero();  // along its own axes
  Eigen::Matrix3f rotation = Eigen::Matrix3f::Identity();  // own axes in odom
  Eigen::Vector2f velocity = Eigen::Vector2f::Zero();   // m/s over the floor

  Eigen::Vector3f centreAt(double t) const;
  // Height of the top of its bounding box above the floor.
  float top() const;
};

// Paint on the floor (a stain, an escalator entrance): it takes the id and
// colour of the floor it covers and leaves the depth alone.
struct FloorPatch
{
  int id = 1;
  Rgb colour = kBlue;
  Eigen::Vector2f centre = Eigen::Vector2f::Zero();
  Eigen::Vector2f half_size = Eigen::Vector2f::Zero();  // along its own x, y
  float yaw = 0.0f;
};

// The floor rises at `angle` for x >= x_start, across the whole width.
struct Ramp
{
  float x_start = 1.0f;
  float angle = 0.1f;
};

// Walls and ceiling: the inside of an upright box standing on the floor.
struct Walls
{
  Eigen::Vector2f min{-5.0f, -5.0f};
  Eigen::Vector2f max{5.0f, 5.0f};
  float height = 2.5f;
};

struct Room
{
  std::optional<Ramp> ramp;
  std::optional<Walls> walls;  // none: the floor goes on for ever
  std::vector<Object> objects;
  std::vector<FloorPatch> patches;
  Rgb floor_colour = kFloorGrey;
  Rgb wall_colour = kWallGrey;

  // Null when no object has this id.
  const Object * object(int id) const;
  // Floor, ramp and the patches painted on them.
  bool isFloor(int id) const;
};

// Builders of the usual things.  Each stands on the flat floor.

// Furniture between two corners, turned by `yaw` about its vertical axis.
Object box(int id, const Eigen::Vector3f & min, const Eigen::Vector3f & max,
  Rgb colour = kBrown, float yaw = 0.0f);
// A person-sized body, 0.3 m deep, 0.4 m wide, 1.7 m tall, facing along its
// velocity (or x when standing).
Object person(int id, const Eigen::Vector2f & position,
  const Eigen::Vector2f & velocity = Eigen::Vector2f::Zero(), Rgb colour = kRed);
// A bottle lying on its side, its axis along `yaw`.
Object bottle(int id, const Eigen::Vector2f & position, float yaw, Rgb colour = kGreen,
  float length = 0.15f, float diameter = 0.06f);
// An upright cup.
Object cup(int id, const Eigen::Vector2f & position, Rgb colour = kGreen,
  float height = 0.09f, float diameter = 0.07f);
FloorPatch stain(int id, const Eigen::Vector2f & centre, const Eigen::Vector2f & size,
  Rgb colour, float yaw = 0.0f);
// The floor in front of an escalator, `width` across its mouth, 0.8 m deep.
FloorPatch escalatorEntrance(int id, const Eigen::Vector2f & centre, float yaw,
  Rgb colour = kBlue, float width = 1.0f);

}  // namespace scene
