// Ground removal on synthetic depth-camera views with known surfaces.
#include <gtest/gtest.h>

#include <sstream>

#include "depth_scene.hpp"
#include "pelorin/perception/remove_ground_line_fit.hpp"
#include "surface_score.hpp"

namespace {

using pelorin::perception::RemoveGroundLineFit;
using PointClass = RemoveGroundLineFit::PointClass;

ground_scene::Verdict verdictOf(PointClass c) {
  switch (c) {
    case PointClass::kGround:
      return ground_scene::Verdict::kGround;
    case PointClass::kObstacle:
      return ground_scene::Verdict::kObstacle;
    default:
      return ground_scene::Verdict::kNeither;
  }
}

struct QualityCase {
  const char* name;
  ground_scene::Scene (*scene)();
  uint32_t seed;
  float mount_height;  // camera above the floor
  float pitch;         // camera tilt down
  friend void PrintTo(const QualityCase& c, std::ostream* os) { *os << c.name; }
};

class GroundRemovalQuality : public ::testing::TestWithParam<QualityCase> {};

TEST_P(GroundRemovalQuality, FloorIsGroundAndObjectsAreObstacles) {
  const QualityCase& c = GetParam();
  ground_scene::Camera camera;
  camera.mount_height = c.mount_height;
  camera.pitch = c.pitch;
  const ground_scene::Scene scene = c.scene();
  const ground_scene::LabelledCloud base = ground_scene::baseFrameCloud(scene, camera, c.seed, 0.025f);
  const auto params = ground_scene::groundParamsFor(camera);
  RemoveGroundLineFit fitter(params);
  std::vector<PointClass> classes;
  fitter.Classify(base.cloud, classes);
  // The preprocessing of the same frame sets hardly any of it aside.
  RemoveGroundLineFit::Cloud::Ptr copy(new RemoveGroundLineFit::Cloud(base.cloud));
  fitter.PreprocessCloud(copy);
  EXPECT_GE(copy->size(), base.cloud.size() * 995 / 1000);
  std::vector<ground_scene::Verdict> verdicts;
  for (PointClass k : classes) verdicts.push_back(verdictOf(k));
  const auto scores = ground_scene::scoreSurfaces(base, verdicts, params.max_obstacle_height);

  std::ostringstream table;
  for (const auto& [label, s] : scores) {
    table << "label " << label << ": " << s.points << " points, ground " << s.groundShare()
          << ", obstacle " << s.obstacleShare() << ", high " << s.high_points << "/" << s.high_kept_out << "\n";
  }
  SCOPED_TRACE(table.str());
  for (const auto& [label, s] : scores) {
    if (label == ground_scene::kMixed) {
      continue;
    }
    if (label == ground_scene::kFloor || label == ground_scene::kRamp) {
      EXPECT_GE(s.groundShare(), 0.99) << "surface " << label;
      continue;
    }
    const ground_scene::Box& box = scene.boxes[static_cast<std::size_t>(label - ground_scene::kFirstBox)];
    if (box.height > 0.03f + 1e-4f) {
      EXPECT_GE(s.obstacleShare(), 0.95) << "box " << label << " of height " << box.height;
    }
    EXPECT_EQ(s.high_points, s.high_kept_out) << "box " << label;
  }
}

INSTANTIATE_TEST_SUITE_P(Scenes, GroundRemovalQuality,
                         ::testing::Values(QualityCase{"room_a", ground_scene::clutteredRoom, 1, 0.35f, 0.45f},
                                           QualityCase{"room_b", ground_scene::clutteredRoom, 2, 0.35f, 0.45f},
                                           QualityCase{"ramp_a", ground_scene::rampAhead, 3, 0.35f, 0.45f},
                                           QualityCase{"ramp_b", ground_scene::rampAhead, 4, 0.35f, 0.45f},
                                           QualityCase{"room_level_camera", ground_scene::clutteredRoom, 5, 0.30f, 0.25f},
                                           QualityCase{"ramp_level_camera", ground_scene::rampAhead, 6, 0.30f, 0.25f}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
