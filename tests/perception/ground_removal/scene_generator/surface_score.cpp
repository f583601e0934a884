#include "surface_score.hpp"

namespace ground_scene {

std::map<int, SurfaceScore> scoreSurfaces(const LabelledCloud& base, const std::vector<Verdict>& verdicts,
                                          float obstacle_ceiling) {
  std::map<int, SurfaceScore> scores;
  for (std::size_t i = 0; i < base.cloud.size() && i < verdicts.size(); ++i) {
    SurfaceScore& s = scores[base.labels[i]];
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

SceneAccuracy sceneAccuracy(const Scene& scene, const std::map<int, SurfaceScore>& scores, float min_height) {
  int floor_points = 0, floor_ground = 0, object_points = 0, object_obstacle = 0;
  for (const auto& [label, s] : scores) {
    if (label == kFloor || label == kRamp) {
      floor_points += s.points;
      floor_ground += s.ground;
    } else if (label >= kFirstBox && scene.boxes[static_cast<std::size_t>(label - kFirstBox)].height > min_height) {
      object_points += s.points;
      object_obstacle += s.obstacle;
    }
  }
  SceneAccuracy a;
  if (floor_points > 0) a.floor_as_ground = static_cast<double>(floor_ground) / floor_points;
  if (object_points > 0) a.objects_as_obstacle = static_cast<double>(object_obstacle) / object_points;
  return a;
}

}  // namespace ground_scene
