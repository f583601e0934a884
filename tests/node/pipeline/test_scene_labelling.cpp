// Labelling through the node on a generated room seen by the colour-patch
// model: every object reaches its output cloud with its class, the person its
// object lists, a moving box the dynamic cloud; a frame whose colour image is
// too far from its depth keeps only the escalator box.
#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include <Eigen/Geometry>
#include <opencv2/imgproc.hpp>
#include <pcl/point_cloud.h>
#include <pcl/point_types.h>

#include "ground_settings.hpp"
#include "pipeline_fixture.hpp"
#include "quorvane_protocol/msg/object_list.hpp"
#include "quorvane_protocol/msg/semantic_point_cloud.hpp"
#include "scene/cloud.hpp"
#include "scene/ground_truth.hpp"
#include "scene/render.hpp"
#include "scene/scene_publisher.hpp"

namespace node_test
{
namespace
{

using quorvane_protocol::msg::ObjectItem;
using quorvane_protocol::msg::ObjectList;
using quorvane_protocol::msg::SemanticPointCloud;
using Cloud = sensor_msgs::msg::PointCloud2;
constexpr float kSurfaceTolerance = 0.03F;
constexpr double kBodyTolerance = 0.03;
constexpr int kFrames = 6;
constexpr int kStride = 2;      // sample_kernel_size
constexpr float kLeaf = 0.025F;  // cloud_*_leafSize

enum Id { kPerson = 1, kBesidePerson, kShelf, kBottle, kMoving, kStain, kEscalator };
enum Output { kStatic, kDynamic, kStainCloud };
using Place = std::tuple<Output, int32_t, bool>;  // output, label, has_bbox

struct Expected
{
  std::string name;
  Place place;
};

// Where each object's points belong.  The moving box carries no detection:
// only the moving-object detector sends it to the dynamic cloud.
const std::map<int, Expected> kExpected{
  {kPerson, {"person", {kDynamic, 300, true}}},
  {kBesidePerson, {"box_beside_person", {kStatic, 1, false}}},
  {kShelf, {"shelf", {kStatic, 1, false}}},
  {kBottle, {"bottle", {kStatic, 401, true}}},
  {kMoving, {"moving_box", {kDynamic, 1, false}}},
  {kStain, {"coffee_stain", {kStainCloud, 502, true}}}};

scene::Scene room()
{
  scene::Scene s;
  s.room.objects = {
    scene::person(kPerson, {1.5F, 0.3F}),
    // Against the person's right side: one cluster with it.
    scene::box(kBesidePerson, {1.4F, -0.1F, 0.0F}, {1.6F, 0.1F, 0.4F}),
    scene::box(kShelf, {1.75F, 0.65F, 0.0F}, {1.95F, 0.85F, 0.3F}),
    scene::bottle(kBottle, {0.8F, 0.25F}, 0.5F),
    // Crosses the view leftwards in front of the escalator entrance.
    scene::box(kMoving, {1.0F, -0.65F, 0.0F}, {1.2F, -0.45F, 0.3F}),
  };
  s.room.objects.back().velocity = {0.0F, 0.7F};
  s.room.patches = {
    scene::stain(kStain, {0.75F, -0.15F}, {0.2F, 0.15F}, scene::kMagenta),
    scene::escalatorEntrance(kEscalator, {1.7F, -0.6F}, 0.0F, scene::kBlue, 0.5F)};
  scene::Camera camera = ground_test::groundCamera();
  camera.intrinsics = {640, 400, 600.0F, 610.0F, 320.0F, 240.0F};
  s.cameras = {camera};
  return s;
}

struct Share
{
  int hits = 0;
  int of = 0;
  double value() const {return of ? static_cast<double>(hits) / of : 0.0;}
};

std::vector<cv::Point2f> outline(const std::vector<cv::Point2f> & points)
{
  std::vector<cv::Point2f> hull;
  cv::convexHull(points, hull);
  return hull;
}

// Farthest a vertex of either outline lies outside the other.
double outlineGap(const std::vector<cv::Point2f> & a, const std::vector<cv::Point2f> & b)
{
  double gap = 0.0;
  for (const auto & [from, to] : {std::make_pair(&a, &b), std::make_pair(&b, &a)}) {
    for (const cv::Point2f & vertex : *from) {
      gap = std::max(gap, -cv::pointPolygonTest(*to, vertex, true));
    }
  }
  return gap;
}

// The item must sit on the body's sampled points: the part the depth range
// and the image leave of it.
void expectOnBody(const ObjectItem & item, const scene::LabelledCloud & sampled, int body)
{
  std::vector<cv::Point2f> points;
  cv::Point2f centre(0.0F, 0.0F);
  double height = 0.0;
  for (std::size_t i = 0; i < sampled.cloud.size(); ++i) {
    if (sampled.labels[i] == body) {
      const pcl::PointXYZ & p = sampled.cloud[i];
      points.emplace_back(p.x, p.y);
      centre += points.back();
      height = std::max(height, static_cast<double>(p.z));
    }
  }
  ASSERT_FALSE(points.empty());
  centre /= static_cast<float>(points.size());
  EXPECT_NEAR(item.pose.position.x, centre.x, kBodyTolerance);
  EXPECT_NEAR(item.pose.position.y, centre.y, kBodyTolerance);
  EXPECT_NEAR(item.height, height, kBodyTolerance);
  std::vector<cv::Point2f> polygon;
  for (const auto & vertex : item.polygon.points) {
    polygon.emplace_back(vertex.x, vertex.y);
  }
  EXPECT_LE(outlineGap(polygon, outline(points)), kBodyTolerance);
}

class SceneLabelling : public PipelineTest
{
};

TEST_F(SceneLabelling, ObjectsReachTheirCloudsWithTheirClassAndStaleColourKeepsOnlyEscalators)
{
  const scene::Scene s = room();
  const scene::Camera & lens = s.cameras[0];
  auto parameters = groundParameters(lens);
  parameters.emplace_back(
    "model_meta_file", std::string(QUORVANE_BINARY_DIR) + "/config/colour_patch_seg_meta.yaml");
  // A flat stain is ground: only a box cloud of its own can carry it.
  parameters.emplace_back(
    "no_remove_ground_class_type",
    std::vector<std::string>{"BASE", "BLOOD", "CARPET", "MASK", "BOTTLE", "PAPER_CUP", "COFFEE"});
  // At the default share a matched person takes its whole cluster, the box
  // beside it included; below the box's share the box is given back.
  parameters.emplace_back("person_percent", 0.2);
  startNode(parameters, 1000.0, {feedOf(lens)}, true);
  scene::ScenePublisher feed(harness_->peer(), s, {scene::defaultTopics(1)});
  Recorder<SemanticPointCloud> statics(harness_->peer(), "/cam1_static_obstacle_cloud");
  Recorder<SemanticPointCloud> dynamics(harness_->peer(), "/cam1_dynamic_obstacle_cloud");
  Recorder<SemanticPointCloud> stains(harness_->peer(), "/cam1_stain_cloud");
  Recorder<ObjectList> people(harness_->peer(), "/cam1_people_info");
  Recorder<ObjectList> objects(harness_->peer(), "/objects_rgbd_1");
  Recorder<Cloud> clusters(harness_->peer(), "/cam1_cluster_cloud");

  std::vector<scene::Frame> frames;
  const auto play = [&](double t, double colour_stamp, double depth_stamp) {
      feed.publishClock(depth_stamp);
      feed.publishRobot(t, depth_stamp);
      // The escalator stage looks the robot up at the frame stamp, the mean
      // of both stamps.
      feed.publishRobot(t, 0.5 * (colour_stamp + depth_stamp));
      frames.push_back(scene::render(s.room, lens, Eigen::Isometry3f::Identity(), t));
      const auto before = camera()->framesDone();
      feed.publishImages(0, frames.back(), colour_stamp, depth_stamp);
      return waitFor([&] {return camera()->framesDone() != before;}, kFrameLimit);
    };
  for (int k = 0; k < kFrames; ++k) {
    ASSERT_TRUE(play(0.1 * k, 1000.0 + 0.1 * k, 1000.0 + 0.1 * k));
  }
  // Colour 0.2 s after its depth, and nearer to it than any earlier colour image.
  ASSERT_TRUE(play(0.8, 1001.0, 1000.8));
  const std::size_t played = frames.size();
  const bool delivered = statics.reaches(played) && dynamics.reaches(played) &&
    stains.reaches(played) && people.reaches(played) && objects.reaches(played) &&
    clusters.reaches(played);
  const auto texts = stopCapture();
  ASSERT_TRUE(delivered);
  EXPECT_TRUE(errorLines(texts).empty()) << ::testing::PrintToString(errorLines(texts));

  std::map<int, Share> placed;  // points in their expected place
  std::map<int, Share> moved;   // points in the dynamic cloud
  for (int k = 0; k < kFrames; ++k) {
    SCOPED_TRACE("frame " + std::to_string(k));
    const double t = 0.1 * k;
    // The detector needs an earlier frame before it can call anything moving.
    const auto judged = [k](int id) {return kExpected.count(id) && (id != kMoving || k > 0);};
    const auto surface = [&](const pcl::PointXYZ & p) {
        return scene::surfaceAt(s, t, p.getVector3fMap(), kSurfaceTolerance);
      };
    // What should arrive: all clustered points of an object standing up, and
    // every sampled pixel of a box-cut object, which ground removal would take.
    for (const auto & p : fromMessage<pcl::PointXYZ>(*clusters.messages()[k])) {
      const int id = surface(p);
      placed[id].of += judged(id);
    }
    for (const int id : scene::depthCloud(frames[k], lens, kStride).labels) {
      placed[id].of += judged(id) && (id == kBottle || id == kStain);
    }
    const std::vector<std::shared_ptr<const SemanticPointCloud>> outputs{
      statics.messages()[k], dynamics.messages()[k], stains.messages()[k]};
    for (int output = kStatic; output <= kStainCloud; ++output) {
      for (const auto & item : outputs[output]->items) {
        const Place place{static_cast<Output>(output), item.label, item.has_bbox};
        for (const auto & p : fromMessage<pcl::PointXYZ>(item.cloud)) {
          const int id = surface(p);
          placed[id].hits += judged(id) && kExpected.at(id).place == place;
          moved[id].of += 1;
          moved[id].hits += output == kDynamic;
        }
      }
    }

    ASSERT_EQ(people.messages()[k]->objects.size(), 1U);
    const ObjectItem & person = people.messages()[k]->objects[0];
    const auto & all = objects.messages()[k]->objects;
    EXPECT_EQ(std::count(all.begin(), all.end(), person), 1);
    expectOnBody(person, scene::baseFrameCloud(frames[k], lens, kStride, kLeaf), kPerson);
  }

  for (const auto & [id, expected] : kExpected) {
    const Share & share = placed[id];
    RecordProperty(
      "in_place_" + expected.name,
      std::to_string(share.hits) + " of " + std::to_string(share.of));
    EXPECT_GE(share.value(), id == kMoving ? 0.90 : 0.95) << expected.name;
  }
  // Still objects the detector judges.  The box beside the person is left out:
  // the person's dilated mask takes its edge, which its share above allows for.
  for (const int id : {kShelf, kBottle}) {
    EXPECT_LT(moved[id].value(), 0.01) << "object " << id;
  }

  // The frame with the stale colour image: no ground-plane box, the escalator
  // box still cut out, every cluster without a class.
  const auto splits = linesStarting(texts, "DEBUG groud_plane_bboxs_info size = ");
  ASSERT_EQ(splits.size(), played);
  EXPECT_EQ(
    splits.back(), "DEBUG groud_plane_bboxs_info size = 0, bboxs_info size = 1 of cam_id=1");
  const auto cut = std::find_if(
    std::find(texts.begin(), texts.end(), splits.back()), texts.end(),
    [](const std::string & text) {return text.rfind("DEBUG cam_1 :numCluster = ", 0) == 0;});
  ASSERT_NE(cut, texts.end());
  int count = 0;
  int points = 0;
  ASSERT_EQ(
    std::sscanf(cut->c_str(), "DEBUG cam_1 :numCluster = %d, point_num = %d", &count, &points), 2);
  EXPECT_GT(points, 0);
  EXPECT_TRUE(people.messages()[kFrames]->objects.empty());
  for (const auto * recorder : {&statics, &dynamics, &stains}) {
    for (const auto & item : recorder->messages()[kFrames]->items) {
      EXPECT_EQ(item.label, 1);
      EXPECT_FALSE(item.has_bbox);
    }
  }
}

}  // namespace
}  // namespace node_test
