#include "scene/ground_truth.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

#include "shapes.hpp"

namespace scene
{

int surfaceAt(const Scene & scene, double t, const Eigen::Vector3f & base_point, float tolerance)
{
  const Room & room = scene.room;
  const Eigen::Vector3f p = scene.robot.odomFromBase(t) * base_point;
  int id = kNothing;
  float best = std::nextafter(tolerance, std::numeric_limits<float>::infinity());
  // Objects first: they win a tie with the floor they stand on.
  const auto consider = [&](float distance, int surface) {
      if (distance < best) {
        best = distance;
        id = surface;
      }
    };
  for (const Object & o : room.objects) {
    consider(detail::distanceToSurface(o.shape, o.half_size,
      o.rotation.transpose() * (p - o.centreAt(t))), o.id);
  }
  int floor = room.ramp && p.x() >= room.ramp->x_start ? kRamp : kFloor;
  for (const FloorPatch & patch : room.patches) {
    if (detail::PatchArea(patch).contains(p.head<2>())) {floor = patch.id;}
  }
  consider(std::fabs(p.z() - detail::floorHeight(room, p.x())), floor);
  if (room.walls) {
    const Walls & w = *room.walls;
    const Eigen::Vector2f xy = p.head<2>();
    consider(std::min({(xy - w.min).cwiseAbs().minCoeff(), (w.max - xy).cwiseAbs().minCoeff(),
        std::fabs(w.height - p.z())}), kWall);
  }
  return id;
}

std::map<int, SurfaceScore> scoreSurfaces(const LabelledCloud & base,
  const std::vector<Verdict> & verdicts, float obstacle_ceiling)
{
  std::map<int, SurfaceScore> scores;
  for (std::size_t i = 0; i < base.cloud.size() && i < verdicts.size(); ++i) {
    SurfaceScore & s = scores[base.labels[i]];
    if (base.cloud.points[i].z > obstacle_ceiling) {
      ++s.high_points;
      s.high_kept_out += verdicts[i] == Verdict::kNeither;
      continue;
    }
    ++s.points;
    s.ground += verdicts[i] == Verdict::kGround;
    s.obstacle += verdicts[i] == Verdict::kObstacle;
  }
  return scores;
}

SceneAccuracy sceneAccuracy(const Room & room, const std::map<int, SurfaceScore> & scores,
  float min_height)
{
  int floor_points = 0, floor_ground = 0, object_points = 0, object_obstacle = 0;
  for (const auto & [label, s] : scores) {
    const Object * object = room.object(label);
    if (room.isFloor(label)) {
      floor_points += s.points;
      floor_ground += s.ground;
    } else if (object && object->top() > min_height) {
      object_points += s.points;
      object_obstacle += s.obstacle;
    }
  }
  SceneAccuracy a;
  if (floor_points > 0) {a.floor_as_ground = static_cast<double>(floor_ground) / floor_points;}
  if (object_points > 0) {a.objects_as_obstacle = static_cast<double>(object_obstacle) / object_points;}
  return a;
}

}  // namespace scene
