#pragma once

#include <map>
#include <vector>

#include "depth_scene.hpp"

namespace ground_scene {

// What a ground remover made of one point.
enum class Verdict { kGround, kObstacle, kNeither };

// Counts of one true surface.  Points higher than the obstacle ceiling are
// counted apart: they should be neither ground nor obstacle.
struct SurfaceScore {
  int points = 0;  // at most the ceiling high
  int ground = 0;
  int obstacle = 0;
  int high_points = 0;
  int high_kept_out = 0;  // high points judged neither
  double groundShare() const { return points ? static_cast<double>(ground) / points : 1.0; }
  double obstacleShare() const { return points ? static_cast<double>(obstacle) / points : 1.0; }
};

// Score per surface label of a base-frame cloud.
std::map<int, SurfaceScore> scoreSurfaces(const LabelledCloud& base, const std::vector<Verdict>& verdicts,
                                          float obstacle_ceiling);

// Floor (flat and ramp) judged ground, and points of objects taller than
// `min_height` judged obstacle, over all such points of the scene.
struct SceneAccuracy {
  double floor_as_ground = 1.0;
  double objects_as_obstacle = 1.0;
};
SceneAccuracy sceneAccuracy(const Scene& scene, const std::map<int, SurfaceScore>& scores, float min_height);

}  // namespace ground_scene
