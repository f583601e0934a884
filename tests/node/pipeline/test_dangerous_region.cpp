// The escalator region through the node with the colour-patch model (blue is
// an escalator entrance): which cameras keep a history, which topics carry the
// regions, the detection window, and a generated entrance passed by a moving
// robot, whose regions must stay on the entrance.
#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include <Eigen/Geometry>

#include "ground_settings.hpp"
#include "pipeline_fixture.hpp"
#include "quorvane_object_detect/common.hpp"
#include "quorvane_protocol/msg/semantic_point_cloud.hpp"
#include "scene/render.hpp"
#include "scene/scene_publisher.hpp"
#include "semantic.pb.h"

namespace node_test
{
namespace
{

using quorvane_protocol::msg::SemanticPointCloud;
using Cloud = sensor_msgs::msg::PointCloud2;
using Points = pcl::PointCloud<pcl::PointXYZ>;
constexpr float kLethalOffset = 0.05F;
constexpr float kDangerousOffset = 0.2F;
const char * const kStart = "INFO cam_1: public escalator dangerous region start";
const char * const kCleared = "INFO cam_1: No dangerous region habe been found, so clear history";

std::string modelMeta()
{
  return std::string(QUORVANE_BINARY_DIR) + "/config/colour_patch_seg_meta.yaml";
}

// Every point of `region` must be a point of `source` or one of its four
// neighbours at +-d, in that order, five to a source point.
void expectInflated(const Points & region, const Points & source, float d, const char * name)
{
  ASSERT_EQ(region.size(), 5 * source.size()) << name;
  for (std::size_t i = 0; i < source.size(); ++i) {
    const Eigen::Vector3f p = source[i].getVector3fMap();
    const Eigen::Vector3f steps[5] = {
      {0, 0, 0}, {d, 0, 0}, {-d, 0, 0}, {0, d, 0}, {0, -d, 0}};
    for (std::size_t k = 0; k < 5; ++k) {
      ASSERT_LT((region[5 * i + k].getVector3fMap() - p - steps[k]).norm(), 1e-5F)
        << name << " point " << i << " neighbour " << k;
    }
  }
}

Points everyFifth(const Points & region)
{
  Points centres;
  for (std::size_t i = 0; i < region.size(); i += 5) {
    centres.push_back(region[i]);
  }
  return centres;
}

// The node's camera 1 (and more) on the default feeds, the robot standing at
// the origin of "odom" and "odom_fusion".
class DangerousRegionNode : public PipelineTest
{
protected:
  void start(std::vector<rclcpp::Parameter> extra, int cameras = 1)
  {
    extra.emplace_back("model_meta_file", modelMeta());
    extra.emplace_back("lethal_dilate_offset", static_cast<double>(kLethalOffset));
    extra.emplace_back("dangerous_dilate_offset", static_cast<double>(kDangerousOffset));
    // Every colour image must change the queue's size, which publishRgb waits for.
    extra.emplace_back("rgb_buffer_size", 64);
    startNode(extra, 1000.0, defaultFeeds(cameras));
  }

  // A grey colour image, with a blue 80 x 120 patch from `column` unless it is
  // negative, and a depth wall, both at `stamp`.
  void frame(double stamp, int column = -1, int number = 1)
  {
    auto image = makeImage("rgb8", 640, 400, stamp, 110);
    for (int row = 200; column >= 0 && row < 320; ++row) {
      for (int x = column; x < column + 80; ++x) {
        uint8_t * pixel = &image.data[row * image.step + x * 3];
        pixel[0] = 0;
        pixel[1] = 0;
        pixel[2] = 255;
      }
    }
    publishRgb(image, number);
    depth(stamp, 1000, number);
  }
};

class RegionTopics : public DangerousRegionNode, public ::testing::WithParamInterface<bool>
{
};

// Planning reads the lethal region's colour cloud and the dangerous region's
// semantic cloud; the other forms and the stage's own clouds are debug output.
TEST_P(RegionTopics, DebugDecidesWhichFormsCarryTheRegions)
{
  const bool debug = GetParam();
  start({rclcpp::Parameter("debug", debug)});
  Recorder<Cloud> lethal(harness_->peer(), "/cam1_lethal_region_cloud");
  Recorder<SemanticPointCloud> lethal_sem(harness_->peer(), "/cam1_lethal_region_sem_cloud");
  Recorder<Cloud> dangerous(harness_->peer(), "/cam1_dangerous_region_cloud");
  Recorder<SemanticPointCloud> dangerous_sem(
    harness_->peer(), "/cam1_dangerous_region_sem_cloud");
  Recorder<Cloud> original(harness_->peer(), "/cam1_dangerous_ori_region_cloud");
  Recorder<Cloud> odom(harness_->peer(), "/cam1_dangerous_region_odom_cloud");
  Recorder<Cloud> base(harness_->peer(), "/cam1_dangerous_region_base_cloud");

  frame(1000.0, 300);
  const bool delivered = lethal.reaches(1) && dangerous_sem.reaches(1) &&
    (!debug || (lethal_sem.reaches(1) && dangerous.reaches(1) && base.reaches(1)));
  const auto texts = stopCapture();
  ASSERT_TRUE(delivered) << ::testing::PrintToString(texts);
  EXPECT_EQ(lethal_sem.count(), debug ? 1U : 0U);
  EXPECT_EQ(dangerous.count(), debug ? 1U : 0U);
  for (const auto * stage_cloud : {&original, &odom, &base}) {
    EXPECT_EQ(stage_cloud->count(), debug ? 1U : 0U);
  }
  EXPECT_EQ(linesStarting(texts, kStart).size(), 1U);
  EXPECT_EQ(linesStarting(texts, "INFO cam_1: public escalator dangerous region end").size(), 1U);
  EXPECT_EQ(
    linesStarting(texts, "DEBUG cam_1 :<cloud_filter_duration> runtime = ").size(),
    debug ? 1U : 0U);

  const auto & item_message = *dangerous_sem.messages()[0];
  ASSERT_EQ(item_message.items.size(), 1U);
  const auto & item = item_message.items[0];
  EXPECT_EQ(item.label, semantic::ESCALATOR_ENTRANCE);
  EXPECT_TRUE(item.has_bbox);
  EXPECT_EQ(item_message.header.frame_id, kBaseFrame);
  EXPECT_DOUBLE_EQ(stampOf(item_message.header.stamp), 1000.0);
  // Both regions inflate the same points, each by its own offset.
  const auto lethal_points = fromMessage<pcl::PointXYZRGB>(*lethal.messages()[0]);
  Points lethal_xyz;
  for (const auto & p : lethal_points) {
    lethal_xyz.push_back({p.x, p.y, p.z});
    const auto & colour = kColorPalette20[semantic::ESCALATOR_ENTRANCE % 20];
    ASSERT_EQ(std::vector<int>({p.r, p.g, p.b}), colour);
  }
  const Points source = everyFifth(lethal_xyz);
  EXPECT_GT(source.size(), 20U);
  expectInflated(lethal_xyz, source, kLethalOffset, "lethal");
  expectInflated(fromMessage<pcl::PointXYZ>(item.cloud), source, kDangerousOffset, "dangerous");
  if (debug) {
    EXPECT_EQ(fromMessage<pcl::PointXYZ>(*base.messages()[0]).size(), source.size());
  }
}

INSTANTIATE_TEST_SUITE_P(
  DebugOffOn, RegionTopics, ::testing::Bool(),
  [](const ::testing::TestParamInfo<bool> & info) {
    return std::string(info.param ? "Debug" : "NoDebug");
  });

// Points of an odom cloud on either side of the base's x = 0.2 (the camera's
// axis): the patch at column 100 lies left of it in the image, at 420 right.
std::pair<std::size_t, std::size_t> leftAndRight(const Cloud & message)
{
  std::pair<std::size_t, std::size_t> sides{0, 0};
  for (const auto & p : fromMessage<pcl::PointXYZ>(message)) {
    (p.x < 0.2F ? sides.first : sides.second) += 1;
  }
  return sides;
}

TEST_F(DangerousRegionNode, TwentyRunsWithoutEntranceClearTheHistoryOneEntranceKeepsIt)
{
  start({});
  Recorder<Cloud> odom(harness_->peer(), "/cam1_dangerous_region_odom_cloud");
  double stamp = 1000.0;
  const auto play = [&](int runs, int column) {
      for (int i = 0; i < runs; ++i) {
        frame(stamp += 0.01, column);
      }
    };
  play(1, 100);   // window 1: the entrance ...
  play(18, -1);
  play(1, 420);   // ... and a second one at its last run: the first is kept
  play(20, -1);   // window 2: nothing, the history goes
  play(1, 420);
  ASSERT_TRUE(odom.reaches(3));
  const auto texts = stopCapture();

  const auto first = leftAndRight(*odom.messages()[0]);
  EXPECT_GT(first.first, 0U);
  EXPECT_EQ(first.second, 0U);
  const auto kept = leftAndRight(*odom.messages()[1]);
  EXPECT_EQ(kept.first, first.first);
  EXPECT_GT(kept.second, 0U);
  const auto cleared = leftAndRight(*odom.messages()[2]);
  EXPECT_EQ(cleared, std::make_pair(std::size_t{0}, kept.second));

  // Cleared once, at the 40th run, before that run's start line.
  const auto at = std::find(texts.begin(), texts.end(), kCleared);
  ASSERT_NE(at, texts.end()) << ::testing::PrintToString(texts);
  EXPECT_EQ(std::count(texts.begin(), texts.end(), kCleared), 1);
  EXPECT_EQ(linesStarting({texts.begin(), at}, kStart).size(), 39U);
  // Each run without an entrance ends at the empty frame cloud, which is no failure.
  EXPECT_EQ(
    std::count(
      texts.begin(), texts.end(), "DEBUG Failed to transform from base cloud to odom_fusion cloud"),
    38);
  EXPECT_TRUE(errorLines(texts).empty()) << ::testing::PrintToString(errorLines(texts));
}

TEST_F(DangerousRegionNode, CameraThreeKeepsNoHistory)
{
  start({}, 3);
  Recorder<SemanticPointCloud> first(harness_->peer(), "/cam1_dangerous_region_sem_cloud");
  Recorder<Cloud> third_lethal(harness_->peer(), "/cam3_lethal_region_cloud");
  Recorder<SemanticPointCloud> third(harness_->peer(), "/cam3_dangerous_region_sem_cloud");
  Recorder<Cloud> third_base(harness_->peer(), "/cam3_dangerous_region_base_cloud");
  for (int number : {3, 1}) {
    frame(1000.0, 300, number);
    frame(1000.1, -1, number);
  }
  ASSERT_TRUE(first.reaches(1));
  const auto texts = stopCapture();
  EXPECT_EQ(third_lethal.count() + third.count() + third_base.count(), 0U);
  for (const auto & text : texts) {
    EXPECT_EQ(text.find("cam_3: "), std::string::npos) << text;
  }
  // Only camera 1's frame without an entrance reaches the empty frame cloud.
  EXPECT_EQ(linesStarting(texts, "DEBUG Failed to transform").size(), 1U);
  EXPECT_EQ(linesStarting(texts, kStart).size(), 2U);
}

class DangerousRegionScene : public PipelineTest
{
};

// Distance of a floor point (odom) outside the patch, along the floor.
float outsidePatch(const scene::FloorPatch & patch, const Eigen::Vector3f & p)
{
  const Eigen::Vector2f local =
    Eigen::Rotation2Df(-patch.yaw) * (p.head<2>() - patch.centre);
  const Eigen::Vector2f out = (local.cwiseAbs() - patch.half_size).cwiseMax(0.0F);
  return out.norm();
}

// Camera 2 sees an entrance ahead on the left while the robot drives 1 m,
// then the robot turns 90 degrees left in place and the entrance slides out
// of the right edge of the view: frames with the entrance in view carry the
// earlier points into the new base frame.
TEST_F(DangerousRegionScene, RegionsStayOnTheEntranceWhileTheRobotMoves)
{
  constexpr float kTolerance = 0.03F;
  constexpr float kLeaf = 0.025F;
  constexpr int kFrames = 21;
  constexpr double kStep = 0.1;
  scene::Scene s;
  const scene::FloorPatch entrance =
    scene::escalatorEntrance(1, {1.6F, 0.6F}, 0.2F, scene::kBlue, 0.6F);
  s.room.patches = {entrance};
  scene::Camera lens = ground_test::groundCamera();
  lens.intrinsics = {640, 400, 600.0F, 610.0F, 320.0F, 240.0F};
  s.cameras = {lens};
  s.robot = scene::RobotPath::through(
    {{1000.0, {0.0F, 0.0F, 0.0F}}, {1001.0, {1.0F, 0.0F, 0.0F}},
      {1002.0, {1.0F, 0.0F, static_cast<float>(M_PI / 2)}}});

  // Camera 1 closed: the region is camera 2's own.
  auto parameters = groundParameters(lens, 2);
  parameters.emplace_back("model_meta_file", modelMeta());
  parameters.emplace_back("close_cam1", true);
  startNode(parameters, 1000.0, {defaultFeeds(1)[0], feedOf(lens, 2)}, true);
  scene::ScenePublisher feed(harness_->peer(), s, {scene::defaultTopics(2)});
  Recorder<SemanticPointCloud> regions(harness_->peer(), "/cam2_dangerous_region_sem_cloud");
  Recorder<Cloud> history(harness_->peer(), "/cam2_dangerous_region_odom_cloud");
  Recorder<Cloud> seen(harness_->peer(), "/cam2_dangerous_ori_region_cloud");
  for (int k = 0; k < kFrames; ++k) {
    const auto before = camera(2)->framesDone();
    feed.publishFrame(1000.0 + kStep * k);
    ASSERT_TRUE(waitFor([&] {return camera(2)->framesDone() != before;}, kFrameLimit));
    // Every frame sees the entrance; a worker still busy with the last one
    // would drop this one's region.
    ASSERT_TRUE(regions.reaches(static_cast<std::size_t>(k) + 1)) << k;
  }
  ASSERT_TRUE(history.reaches(kFrames) && seen.reaches(kFrames));
  const auto texts = stopCapture();
  // The last region comes after 1 m and 90 degrees of motion.
  EXPECT_NEAR(
    stampOf(regions.messages().back()->header.stamp), 1000.0 + kStep * (kFrames - 1), 1e-6);

  for (const auto & message : regions.messages()) {
    const double t = stampOf(message->header.stamp);
    SCOPED_TRACE("t = " + std::to_string(t));
    const Eigen::Isometry3f odom_from_base = s.robot.odomFromBase(t);
    const Points centres = everyFifth(fromMessage<pcl::PointXYZ>(message->items.at(0).cloud));
    ASSERT_FALSE(centres.empty());
    float worst = 0.0F;
    for (const auto & p : centres) {
      const Eigen::Vector3f q = odom_from_base * p.getVector3fMap();
      worst = std::max({worst, outsidePatch(entrance, q), std::abs(q.z())});
    }
    EXPECT_LE(worst, kTolerance);
  }
  // The history never holds more than one point per grid cell over the
  // entrance (the floor's noise may spread it over two layers).
  const Eigen::Vector2f size = 2.0F * entrance.half_size.array() + 2.0F * (kTolerance + kLeaf);
  const auto cells = static_cast<std::size_t>(2.0F * size.x() * size.y() / (kLeaf * kLeaf));
  std::size_t largest = 0;
  for (const auto & message : history.messages()) {
    largest = std::max<std::size_t>(largest, message->width);
  }
  EXPECT_GT(history.messages().back()->width, cells / 8);
  EXPECT_LE(largest, cells);
  // The entrance leaves the view as the robot turns; its region stays whole.
  std::size_t most_seen = 0;
  for (const auto & message : seen.messages()) {
    most_seen = std::max<std::size_t>(most_seen, message->width);
  }
  EXPECT_LT(seen.messages().back()->width, 3 * most_seen / 4);
  EXPECT_EQ(history.messages().back()->width, largest);
  EXPECT_TRUE(errorLines(texts).empty()) << ::testing::PrintToString(errorLines(texts));
}

}  // namespace
}  // namespace node_test
