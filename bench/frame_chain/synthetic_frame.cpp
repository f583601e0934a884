#include <memory>

#include "frame_input.hpp"
#include "ground_settings.hpp"
#include "scene/render.hpp"
#include "scene/ros_messages.hpp"
#include "scene/scene.hpp"
#include "scene/stock_rooms.hpp"

namespace frame_chain
{
namespace
{

constexpr int kHistoryFrames = 6;     // the detector keeps six
constexpr double kFramePeriod = 0.1;  // s
constexpr float kSurfaceTolerance = 0.03F;

// The furnished room's own furniture stands mostly beyond the 2 m of depth;
// what the robot meets is put in front of it.
scene::Scene roomInView()
{
  scene::Scene s;
  s.room = scene::furnishedRoom();
  s.room.objects.push_back(scene::box(5, {0.9F, -0.45F, 0.0F}, {1.1F, -0.25F, 0.25F}));
  s.room.objects.push_back(scene::box(6, {1.3F, -0.75F, 0.0F}, {1.5F, -0.55F, 0.4F}));
  s.room.objects.push_back(scene::box(7, {0.62F, 0.3F, 0.0F}, {0.7F, 0.36F, 0.08F}));
  s.room.objects.push_back(scene::person(8, {1.6F, 0.5F}, {0.0F, -0.5F}));
  s.room.objects.push_back(scene::bottle(9, {0.8F, 0.15F}, 0.5F));
  s.room.objects.push_back(scene::cup(10, {1.2F, 0.05F}, scene::kYellow));
  scene::Camera camera = ground_test::groundCamera();
  camera.intrinsics = {640, 400, 600.0F, 610.0F, 320.0F, 240.0F};
  camera.noise = scene::structuredLightNoise(7);
  s.cameras = {camera};
  return s;
}

sensor_msgs::msg::Image::ConstSharedPtr depthMessage(
  const scene::Frame & frame, const scene::Camera & camera)
{
  return std::make_shared<const sensor_msgs::msg::Image>(
    scene::depthImage(frame, scene::DepthEncoding::kMillimetres, kStamp, camera.frame_id));
}

}  // namespace

FrameInput syntheticFrame()
{
  const scene::Scene s = roomInView();
  const scene::Camera & camera = s.cameras[0];
  FrameInput input;
  input.name = "synthetic";
  input.camera = camera;
  input.ground = ground_test::groundParamsFor(camera);
  for (int k = 0; k < kHistoryFrames; ++k) {
    input.history.push_back(depthMessage(scene::render(s, 0, k * kFramePeriod), camera));
  }
  // The person has walked on since the oldest of them.
  const double now = kHistoryFrames * kFramePeriod;
  const scene::Frame frame = scene::render(s, 0, now);
  input.depth = depthMessage(frame, camera);
  input.colour = std::make_shared<const sensor_msgs::msg::Image>(
    scene::colourImage(frame, kStamp, camera.frame_id));
  const float ceiling = input.ground.max_obstacle_height;
  input.score = [s, now, ceiling](const Points & base, const Verdicts & verdicts) {
      scene::LabelledCloud labelled{base, {}};
      for (const pcl::PointXYZ & p : base) {
        labelled.labels.push_back(scene::surfaceAt(s, now, p.getVector3fMap(), kSurfaceTolerance));
      }
      const auto scores = scene::scoreSurfaces(labelled, verdicts, ceiling);
      const scene::SceneAccuracy shares = scene::sceneAccuracy(s.room, scores, kTallerThan);
      Accuracy a{shares.floor_as_ground, shares.objects_as_obstacle, 0, 0};
      for (const auto & [label, score] : scores) {
        const scene::Object * object = s.room.object(label);
        a.floor_points += s.room.isFloor(label) ? score.points : 0;
        a.object_points += object && object->top() > kTallerThan ? score.points : 0;
      }
      return a;
    };
  return input;
}

}  // namespace frame_chain
