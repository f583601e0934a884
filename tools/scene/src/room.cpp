#include "scene/room.hpp"

#include <algorithm>
#include <cmath>

namespace scene
{
namespace
{

Eigen::Matrix3f yawRotation(float yaw)
{
  return Eigen::AngleAxisf(yaw, Eigen::Vector3f::UnitZ()).toRotationMatrix();
}

Object cylinder(int id, Rgb colour, const Eigen::Vector3f & centre, float radius, float length,
  const Eigen::Matrix3f & rotation)
{
  Object o;
  o.id = id;
  o.colour = colour;
  o.shape = Shape::kCylinder;
  o.centre = centre;
  o.half_size = Eigen::Vector3f(radius, radius, 0.5f * length);
  o.rotation = rotation;
  return o;
}

}  // namespace

Eigen::Vector3f Object::centreAt(double t) const
{
  return centre + Eigen::Vector3f(velocity.x(), velocity.y(), 0.0f) * static_cast<float>(t);
}

float Object::top() const
{
  return centre.z() + rotation.row(2).cwiseAbs().dot(half_size);
}

const Object * Room::object(int id) const
{
  const auto it = std::find_if(objects.begin(), objects.end(),
      [id](const Object & o) {return o.id == id;});
  return it == objects.end() ? nullptr : &*it;
}

bool Room::isFloor(int id) const
{
  return id == kFloor || id == kRamp ||
         std::any_of(patches.begin(), patches.end(), [id](const FloorPatch & p) {return p.id == id;});
}

Object box(int id, const Eigen::Vector3f & min, const Eigen::Vector3f & max, Rgb colour, float yaw)
{
  Object o;
  o.id = id;
  o.colour = colour;
  o.centre = 0.5f * (min + max);
  o.half_size = 0.5f * (max - min);
  o.rotation = yawRotation(yaw);
  return o;
}

Object person(int id, const Eigen::Vector2f & position, const Eigen::Vector2f & velocity, Rgb colour)
{
  const float yaw = velocity.isZero() ? 0.0f : std::atan2(velocity.y(), velocity.x());
  Object o = box(id, Eigen::Vector3f(-0.15f, -0.2f, 0.0f), Eigen::Vector3f(0.15f, 0.2f, 1.7f), colour, yaw);
  o.centre.head<2>() = position;
  o.velocity = velocity;
  return o;
}

Object bottle(int id, const Eigen::Vector2f & position, float yaw, Rgb colour, float length,
  float diameter)
{
  // Its own z axis lies along `yaw` over the floor.
  const Eigen::Matrix3f lying =
    yawRotation(yaw) * Eigen::AngleAxisf(0.5f * static_cast<float>(M_PI), Eigen::Vector3f::UnitY());
  return cylinder(id, colour, Eigen::Vector3f(position.x(), position.y(), 0.5f * diameter),
    0.5f * diameter, length, lying);
}

Object cup(int id, const Eigen::Vector2f & position, Rgb colour, float height, float diameter)
{
  return cylinder(id, colour, Eigen::Vector3f(position.x(), position.y(), 0.5f * height),
    0.5f * diameter, height, Eigen::Matrix3f::Identity());
}

FloorPatch stain(int id, const Eigen::Vector2f & centre, const Eigen::Vector2f & size, Rgb colour,
  float yaw)
{
  return FloorPatch{id, colour, centre, 0.5f * size, yaw};
}

FloorPatch escalatorEntrance(int id, const Eigen::Vector2f & centre, float yaw, Rgb colour,
  float width)
{
  return stain(id, centre, Eigen::Vector2f(0.8f, width), colour, yaw);
}

}  // namespace scene
