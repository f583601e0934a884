#pragma once

#include <map>
#include <vector>

#include <Eigen/Core>

#include "scene/cloud.hpp"
#include "scene/scene.hpp"

// Scoring what a perception stage made of a cloud against the true surfaces.
namespace scene
{

// The surface a base_footprint point at time t lies on, within `tolerance`
// (the nearest of several): an object or floor patch id, kFloor, kRamp,
// kWall, or kNothing in free space.
int surfaceAt(const Scene & scene, double t, const Eigen::Vector3f & base_point,
  float tolerance);

// What a ground remover made of one point.
enum class Verdict { kGround, kObstacle, kNeither };

// Counts of one true surface.  Points higher than the obstacle ceiling are
// counted apart: they should be neither ground nor obstacle.
struct SurfaceScore
{
  int points = 0;  // at most the ceiling high
  int ground = 0;
  int obstacle = 0;
  int high_points = 0;
  int high_kept_out = 0;  // high points judged neither
  double groundShare() const {return points ? static_cast<double>(ground) / points : 1.0;}
  double obstacleShare() const {return points ? static_cast<double>(obstacle) / points : 1.0;}
};

// Score per surface label of a base-frame cloud.
std::map<int, SurfaceScore> scoreSurfaces(const LabelledCloud & base,
  const std::vector<Verdict> & verdicts, float obstacle_ceiling);

// Floor (flat, ramp and the patches on it) judged ground, and points of
// objects taller than `min_height` judged obstacle, over all such points.
struct SceneAccuracy
{
  double floor_as_ground = 1.0;
  double objects_as_obstacle = 1.0;
};
SceneAccuracy sceneAccuracy(const Room & room, const std::map<int, SurfaceScore> & scores,
  float min_height);

}  // namespace scene
