// Trash on the floor of a generated room, seen by the colour-patch model while
// the robot drives: the tracker confirms one track per item, where it lies in
// "map".
#include <algorithm>
#include <string>
#include <vector>

#include <Eigen/Geometry>

#include "ground_settings.hpp"
#include "pipeline_fixture.hpp"
#include "quorvane_protocol/msg/detected_wastes.hpp"
#include "scene/render.hpp"
#include "scene/scene_publisher.hpp"
#include "semantic.pb.h"

namespace node_test
{
namespace
{

constexpr int kFrames = 6;  // the tracker confirms a track on its third observation
constexpr double kTolerance = 0.05;

scene::Scene room()
{
  scene::Scene s;
  s.room.objects = {
    scene::cup(1, {0.9F, -0.15F}, scene::kYellow),  // PAPER_CUP to the model
    scene::bottle(2, {1.0F, 0.2F}, 0.5F),           // green: BOTTLE
  };
  s.robot = scene::RobotPath::through({{0.0, {0.0F, 0.0F, 0.0F}}, {1.0, {0.2F, 0.0F, 0.1F}}});
  s.frames.map_from_odom_fusion =
    Eigen::Translation3f(3.0F, -1.0F, 0.0F) * Eigen::AngleAxisf(0.4F, Eigen::Vector3f::UnitZ());
  scene::Camera camera = ground_test::groundCamera();
  camera.intrinsics = {640, 400, 600.0F, 610.0F, 320.0F, 240.0F};
  s.cameras = {camera};
  return s;
}

class TrashScene : public PipelineTest
{
};

TEST_F(TrashScene, FloorTrashGetsOneConfirmedTrackEachAtItsMapPosition)
{
  const scene::Scene s = room();
  auto parameters = groundParameters(s.cameras[0]);
  parameters.emplace_back(
    "model_meta_file", std::string(QUORVANE_BINARY_DIR) + "/config/colour_patch_seg_meta.yaml");
  parameters.emplace_back(
    "trash_detection.trash_class_type", std::vector<std::string>{"PAPER_CUP", "BOTTLE"});
  startNode(parameters, 1000.0, {feedOf(s.cameras[0])}, true);
  scene::ScenePublisher feed(harness_->peer(), s, {scene::defaultTopics(1)});
  Recorder<quorvane_protocol::msg::DetectedWastes> wastes(harness_->peer(), "/detected_wastes");

  for (int k = 0; k < kFrames; ++k) {
    const double t = 0.1 * k;
    const double stamp = 1000.0 + t;
    feed.publishClock(stamp);
    feed.publishRobot(t, stamp);
    const auto before = camera()->trashFramesDone();
    feed.publishImages(0, scene::render(s, 0, t), stamp, stamp);
    ASSERT_TRUE(waitFor([&] {return camera()->trashFramesDone() != before;}, kFrameLimit)) << k;
  }
  ASSERT_TRUE(wastes.reaches(kFrames));
  const auto texts = stopCapture();
  EXPECT_TRUE(errorLines(texts).empty()) << ::testing::PrintToString(errorLines(texts));

  const auto & last = *wastes.messages().back();
  ASSERT_EQ(last.wastes.size(), 2U);
  const Eigen::Isometry3f map_from_odom =
    s.frames.map_from_odom_fusion * s.frames.odom_fusion_from_odom;
  for (const auto & [id, label] : {std::make_pair(1, semantic::PAPER_CUP),
      std::make_pair(2, semantic::BOTTLE)})
  {
    const Eigen::Vector3d truth = (map_from_odom * s.room.object(id)->centre).cast<double>();
    const auto waste = std::find_if(
      last.wastes.begin(), last.wastes.end(), [label = label](const auto & w) {
        return w.label == label;
      });
    ASSERT_NE(waste, last.wastes.end()) << label;
    const Eigen::Vector3d at(waste->position.x, waste->position.y, waste->position.z);
    EXPECT_LT((at - truth).norm(), kTolerance) << label << " at " << at.transpose()
                                               << ", truth " << truth.transpose();
  }
}

}  // namespace
}  // namespace node_test
