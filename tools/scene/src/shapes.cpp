#include "shapes.hpp"

namespace scene::detail
{

Background::Background(const Room & room, const Eigen::Vector3f & origin)
: o_(origin)
{
  if (room.ramp) {
    ramp_start_ = room.ramp->x_start;
    ramp_slope_ = std::tan(room.ramp->angle);
    ramp_numerator_ = -(ramp_slope_ * o_.x() - o_.z() - ramp_slope_ * ramp_start_);
  }
  if (room.walls) {
    to_min_ = room.walls->min - o_.head<2>();
    to_max_ = room.walls->max - o_.head<2>();
    to_ceiling_ = room.walls->height - o_.z();
  }
}

void Background::castRow(const Eigen::Vector3f & row, const Eigen::Vector3f & step, const float * a,
  std::size_t n, float * t_out, int32_t * id_out) const
{
  // Locals and selects only, so that the loop vectorises; hits at t <= 0
  // (or NaN, from a division by zero) are misses.
  const float ox = o_.x(), oz = o_.z(), ramp_start = ramp_start_, slope = ramp_slope_;
  const float ramp_numerator = ramp_numerator_, ceiling = to_ceiling_;
  const float min_x = to_min_.x(), min_y = to_min_.y(), max_x = to_max_.x(), max_y = to_max_.y();
  const auto ahead = [](float t) {return t > 0.0f ? t : kMiss;};
  for (std::size_t u = 0; u < n; ++u) {
    const float dx = row.x() + a[u] * step.x();
    const float dy = row.y() + a[u] * step.y();
    const float dz = row.z() + a[u] * step.z();
    const float t_z = ahead((dz < 0.0f ? -oz : ceiling) / dz);
    const bool flat = (dz < 0.0f) & (ox + t_z * dx < ramp_start);
    float best = flat ? t_z : kMiss;
    int32_t id = flat ? kFloor : kNothing;
    // z = k (x - x_start)  <=>  k x - z - k x_start = 0
    const float t_ramp = ahead(ramp_numerator / (slope * dx - dz));
    const bool ramp = (t_ramp < best) & (ox + t_ramp * dx >= ramp_start);
    best = ramp ? t_ramp : best;
    id = ramp ? kRamp : id;
    // From inside, the ray leaves through the nearest wall ahead of it.
    const float t_x = ahead((dx > 0.0f ? max_x : min_x) / dx);
    const float t_y = ahead((dy > 0.0f ? max_y : min_y) / dy);
    const float t_wall = std::min(std::min(t_x, t_y), dz > 0.0f ? t_z : kMiss);
    const bool wall = t_wall < best;
    t_out[u] = wall ? t_wall : best;
    id_out[u] = wall ? kWall : id;
  }
}

PatchArea::PatchArea(const FloorPatch & patch)
: centre_(patch.centre), own_from_odom_(Eigen::Rotation2Df(-patch.yaw).toRotationMatrix()),
  half_(patch.half_size) {}

float distanceToSurface(Shape shape, const Eigen::Vector3f & half, const Eigen::Vector3f & p)
{
  // `excess`: how far beyond the surface the point lies along each direction.
  const auto distance = [](const auto & excess) {
      const float outside = excess.cwiseMax(0.0f).norm();
      return outside > 0.0f ? outside : -excess.maxCoeff();
    };
  if (shape == Shape::kBox) {return distance((p.cwiseAbs() - half).eval());}
  return distance(Eigen::Vector2f(p.head<2>().norm() - half.x(), std::fabs(p.z()) - half.z()));
}

std::array<Eigen::Vector3f, 8> corners(const Object & object, double t)
{
  std::array<Eigen::Vector3f, 8> out;
  const Eigen::Vector3f centre = object.centreAt(t);
  for (int i = 0; i < 8; ++i) {
    const Eigen::Vector3f sign(i & 1 ? 1.0f : -1.0f, i & 2 ? 1.0f : -1.0f, i & 4 ? 1.0f : -1.0f);
    out[static_cast<std::size_t>(i)] = centre + object.rotation * sign.cwiseProduct(object.half_size);
  }
  return out;
}

float floorHeight(const Room & room, float x)
{
  if (!room.ramp || x < room.ramp->x_start) {return 0.0f;}
  return std::tan(room.ramp->angle) * (x - room.ramp->x_start);
}

}  // namespace scene::detail
