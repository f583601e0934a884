// Ground removal on synthetic depth-camera views with known surfaces.
#include <gtest/gtest.h>

#include <sstream>

#include "ground_settings.hpp"
#include "pelorin/perception/remove_ground_line_fit.hpp"
#include "scene/ground_truth.hpp"
#include "scene/stock_rooms.hpp"

namespace {

using pelorin::perception::RemoveGroundLineFit;
using PointClass = RemoveGroundLineFit::PointClass;

scene::Verdict verdictOf(PointClass c) {
  switch (c) {
    case PointClass::kGround:
      return scene::Verdict::kGround;
    case PointClass::kObstacle:
      return scene::Verdict::kObstacle;
    default:
      return scene::Verdict::kNeither;
  }
}

struct QualityCase {
  const char* name;
  scene::Room (*room)();
  uint32_t seed;
  float mount_height;  // camera above the floor
  float pitch;         // camera tilt down
  friend void PrintTo(const QualityCase& c, std::ostream* os) { *os << c.name; }
};

class GroundRemovalQuality : public ::testing::TestWithParam<QualityCase> {};

TEST_P(GroundRemovalQuality, FloorIsGroundAndObjectsAreObstacles) {
  const QualityCase& c = GetParam();
  const scene::Camera camera = ground_test::groundCamera(c.mount_height, c.pitch, c.seed);
  const scene::Room room = c.room();
  const scene::LabelledCloud base = scene::baseFrameCloud(scene::render(room, camera), camera, 2, 0.025f);
  const auto params = ground_test::groundParamsFor(camera);
  RemoveGroundLineFit fitter(params);
  std::vector<PointClass> classes;
  fitter.Classify(base.cloud, classes);
  // The preprocessing of the same frame sets hardly any of it aside.
  RemoveGroundLineFit::Cloud::Ptr copy(new RemoveGroundLineFit::Cloud(base.cloud));
  fitter.PreprocessCloud(copy);
  EXPECT_GE(copy->size(), base.cloud.size() * 995 / 1000);
  std::vector<scene::Verdict> verdicts;
  for (PointClass k : classes) verdicts.push_back(verdictOf(k));
  const auto scores = scene::scoreSurfaces(base, verdicts, params.max_obstacle_height);

  std::ostringstream table;
  for (const auto& [label, s] : scores) {
    table << "label " << label << ": " << s.points << " points, ground " << s.groundShare()
          << ", obstacle " << s.obstacleShare() << ", high " << s.high_points << "/" << s.high_kept_out << "\n";
  }
  SCOPED_TRACE(table.str());
  for (const auto& [label, s] : scores) {
    if (label == scene::kMixed) {
      continue;
    }
    if (room.isFloor(label)) {
      EXPECT_GE(s.groundShare(), 0.99) << "surface " << label;
      continue;
    }
    const scene::Object* box = room.object(label);
    ASSERT_NE(box, nullptr) << "surface " << label;
    if (box->top() > 0.03f + 1e-4f) {
      EXPECT_GE(s.obstacleShare(), 0.95) << "box " << label << " of height " << box->top();
    }
    EXPECT_EQ(s.high_points, s.high_kept_out) << "box " << label;
  }
}

INSTANTIATE_TEST_SUITE_P(Scenes, GroundRemovalQuality,
                         ::testing::Values(QualityCase{"room_a", scene::clutteredRoom, 1, 0.35f, 0.45f},
                                           QualityCase{"room_b", scene::clutteredRoom, 7, 0.35f, 0.45f},
                                           QualityCase{"ramp_a", scene::rampAhead, 3, 0.35f, 0.45f},
                                           QualityCase{"ramp_b", scene::rampAhead, 4, 0.35f, 0.45f},
                                           QualityCase{"room_level_camera", scene::clutteredRoom, 8, 0.30f, 0.25f},
                                           QualityCase{"ramp_level_camera", scene::rampAhead, 6, 0.30f, 0.25f}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
