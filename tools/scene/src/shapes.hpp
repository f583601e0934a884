#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

#include <Eigen/Geometry>

#include "scene/room.hpp"

// The geometry of the room's surfaces: ray hits and distances.  A ray is
// origin + t * dir; kMiss means no hit at t > 0.  The hits are inline: the
// renderer calls them once a pixel.
namespace scene::detail
{

constexpr float kMiss = std::numeric_limits<float>::infinity();
constexpr float kParallel = 1e-9f;

// Centred box of half sizes `half`.
inline float hitBox(const Eigen::Vector3f & half, const Eigen::Vector3f & o, const Eigen::Vector3f & d)
{
  float t_near = -kMiss;
  float t_far = kMiss;
  for (int a = 0; a < 3; ++a) {
    if (std::fabs(d[a]) < kParallel) {
      if (std::fabs(o[a]) > half[a]) {return kMiss;}
      continue;
    }
    const float inverse = 1.0f / d[a];
    const float t0 = (-half[a] - o[a]) * inverse;
    const float t1 = (half[a] - o[a]) * inverse;
    t_near = std::max(t_near, std::min(t0, t1));
    t_far = std::min(t_far, std::max(t0, t1));
  }
  return t_near <= t_far && t_near > 0.0f ? t_near : kMiss;
}

// Along z, radius half.x(), from -half.z() to half.z().
inline float hitCylinder(const Eigen::Vector3f & half, const Eigen::Vector3f & o,
  const Eigen::Vector3f & d)
{
  const float r2 = half.x() * half.x();
  float best = kMiss;
  const float a = d.x() * d.x() + d.y() * d.y();
  if (a > kParallel) {
    const float b = o.x() * d.x() + o.y() * d.y();
    const float c = o.x() * o.x() + o.y() * o.y() - r2;
    const float discriminant = b * b - a * c;
    if (discriminant >= 0.0f) {
      const float t = (-b - std::sqrt(discriminant)) / a;  // where it enters the side
      if (t > 0.0f && std::fabs(o.z() + t * d.z()) <= half.z()) {best = t;}
    }
  }
  if (std::fabs(d.z()) > kParallel) {
    const float t = (std::copysign(half.z(), -d.z()) - o.z()) / d.z();  // the cap facing the ray
    const float x = o.x() + t * d.x();
    const float y = o.y() + t * d.y();
    if (t > 0.0f && t < best && x * x + y * y <= r2) {best = t;}
  }
  return best;
}

// Floor, ramp, walls and ceiling, for rays from one origin.
class Background
{
public:
  Background(const Room & room, const Eigen::Vector3f & origin);

  // Rays `row + a[u] * step` for u < n: the ray parameter of the first
  // surface each meets, and its id (kMiss and kNothing when none).
  void castRow(const Eigen::Vector3f & row, const Eigen::Vector3f & step, const float * a,
    std::size_t n, float * t_out, int32_t * id_out) const;

private:
  // A missing ramp starts and missing walls stand at infinity: no branches.
  Eigen::Vector3f o_;
  float ramp_start_ = kMiss;
  float ramp_slope_ = 0.0f;
  float ramp_numerator_ = kMiss;
  Eigen::Vector2f to_min_{-kMiss, -kMiss};
  Eigen::Vector2f to_max_{kMiss, kMiss};
  float to_ceiling_ = kMiss;
};

// Whether points over the floor lie on a patch.
class PatchArea
{
public:
  explicit PatchArea(const FloorPatch & patch);
  bool contains(const Eigen::Vector2f & xy) const
  {
    const Eigen::Vector2f own = own_from_odom_ * (xy - centre_);
    return std::fabs(own.x()) <= half_.x() && std::fabs(own.y()) <= half_.y();
  }

private:
  Eigen::Vector2f centre_;
  Eigen::Matrix2f own_from_odom_;
  Eigen::Vector2f half_;
};

// Distance from the surface, inside or out (own coordinates).
float distanceToSurface(Shape shape, const Eigen::Vector3f & half, const Eigen::Vector3f & point);

// The corners of the object's bounding box at time t (odom).
std::array<Eigen::Vector3f, 8> corners(const Object & object, double t);

float floorHeight(const Room & room, float x);

}  // namespace scene::detail
