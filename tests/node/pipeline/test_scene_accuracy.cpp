// Ground removal and clustering through the node on a generated room: the
// floor must come out as ground, every object taller than 3 cm as obstacle,
// each separated object as one cluster, in both depth encodings.
#include <map>
#include <set>
#include <string>
#include <vector>

#include <Eigen/Geometry>
#include <pcl/point_cloud.h>
#include <pcl/point_types.h>

#include "ground_settings.hpp"
#include "pipeline_fixture.hpp"
#include "scene/ground_truth.hpp"
#include "scene/render.hpp"
#include "scene/scene_publisher.hpp"

namespace node_test
{
namespace
{

using Cloud = sensor_msgs::msg::PointCloud2;
constexpr float kTallerThan = 0.03F;
constexpr float kSurfaceTolerance = 0.03F;
constexpr int kFrames = 4;

scene::Scene room()
{
  scene::Scene s;
  s.room.objects = {
    scene::box(1, {0.9F, -0.45F, 0.0F}, {1.1F, -0.25F, 0.25F}),
    scene::person(2, {1.7F, 0.35F}),
    scene::bottle(3, {0.8F, 0.2F}, 0.5F),
    scene::cup(4, {1.25F, -0.0F}, scene::kYellow),
  };
  s.room.patches = {
    scene::stain(5, {0.7F, -0.1F}, {0.2F, 0.15F}, scene::kMagenta),
    scene::escalatorEntrance(6, {1.6F, -0.5F}, 0.0F, scene::kBlue, 0.5F)};
  scene::Camera camera = ground_test::groundCamera();
  camera.intrinsics = {640, 400, 600.0F, 610.0F, 320.0F, 240.0F};
  s.cameras = {camera};
  return s;
}

class SceneAccuracy : public PipelineTest, public ::testing::WithParamInterface<scene::DepthEncoding>
{
};

TEST_P(SceneAccuracy, FloorIsGroundObjectsAreObstaclesOneClusterEach)
{
  const scene::Scene s = room();
  startNode(groundParameters(s.cameras[0]), 1000.0, {feedOf(s.cameras[0])}, true);
  auto topics = scene::defaultTopics(1);
  topics.depth_encoding = GetParam();
  scene::ScenePublisher feed(harness_->peer(), s, {topics});
  Recorder<Cloud> obstacle(harness_->peer(), "/cam1_obstacle_cloud");
  Recorder<Cloud> ground(harness_->peer(), "/cam1_ground_cloud");
  Recorder<Cloud> clusters(harness_->peer(), "/cam1_cluster_cloud");

  for (int k = 0; k < kFrames; ++k) {
    const double t = 0.1 * k;
    const double stamp = 1000.0 + t;
    feed.publishClock(stamp);
    feed.publishRobot(t, stamp);
    const scene::Frame frame = scene::render(s.room, s.cameras[0], Eigen::Isometry3f::Identity(), t);
    const auto before = camera()->framesDone();
    feed.publishImages(0, frame, stamp, stamp);
    ASSERT_TRUE(waitFor([&] {return camera()->framesDone() != before;}, kFrameLimit));
  }
  const bool delivered = clusters.reaches(kFrames) && ground.reaches(kFrames) &&
    obstacle.reaches(kFrames);
  const auto texts = stopCapture();
  ASSERT_TRUE(delivered);
  EXPECT_TRUE(errorLines(texts).empty()) << ::testing::PrintToString(errorLines(texts));

  for (int k = 0; k < kFrames; ++k) {
    const double t = 0.1 * k;
    // Ground and obstacle verdicts of every point, scored by the surface it lies on.
    scene::LabelledCloud judged;
    std::vector<scene::Verdict> verdicts;
    for (const auto & [message, verdict] : {
        std::make_pair(ground.messages()[k], scene::Verdict::kGround),
        std::make_pair(obstacle.messages()[k], scene::Verdict::kObstacle)})
    {
      for (const auto & p : fromMessage<pcl::PointXYZ>(*message)) {
        judged.cloud.push_back(p);
        judged.labels.push_back(scene::surfaceAt(s, t, p.getVector3fMap(), kSurfaceTolerance));
        verdicts.push_back(verdict);
      }
    }
    const auto scores = scene::scoreSurfaces(judged, verdicts, 0.666F);
    const auto accuracy = scene::sceneAccuracy(s.room, scores, kTallerThan);
    EXPECT_GE(accuracy.floor_as_ground, 0.99) << "frame " << k;
    EXPECT_GE(accuracy.objects_as_obstacle, 0.95) << "frame " << k;
    for (const auto & object : s.room.objects) {
      EXPECT_GT(scores.count(object.id) ? scores.at(object.id).obstacle : 0, 0)
        << "object " << object.id << " unseen in frame " << k;
    }

    // Each object's points share one cluster colour, and no two objects share one.
    std::map<int, std::set<uint32_t>> colours_of;
    for (const auto & p : fromMessage<pcl::PointXYZRGB>(*clusters.messages()[k])) {
      const int id = scene::surfaceAt(s, t, p.getVector3fMap(), kSurfaceTolerance);
      if (s.room.object(id)) {
        colours_of[id].insert(p.rgba & 0xFFFFFF);
      }
    }
    std::set<uint32_t> used;
    for (const auto & object : s.room.objects) {
      ASSERT_EQ(colours_of[object.id].size(), 1U) << "object " << object.id << " frame " << k;
      EXPECT_TRUE(used.insert(*colours_of[object.id].begin()).second)
        << "object " << object.id << " shares its cluster, frame " << k;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
  DepthEncodings, SceneAccuracy,
  ::testing::Values(scene::DepthEncoding::kMillimetres, scene::DepthEncoding::kMetres),
  [](const ::testing::TestParamInfo<scene::DepthEncoding> & info) {
    return std::string(info.param == scene::DepthEncoding::kMillimetres ? "Millimetres" : "Metres");
  });

}  // namespace
}  // namespace node_test
