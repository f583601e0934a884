// The ray caster: depths, ids and colours of known surfaces, moving things,
// and the noise model.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <string>
#include <vector>

#include "scene/ground_truth.hpp"
#include "scene/render.hpp"

namespace
{

using Eigen::Vector2f;
using Eigen::Vector3f;

// Pixel (320, 200) looks straight along the optical axis.
scene::Camera levelCamera(float height)
{
  scene::Camera camera;
  camera.intrinsics = {640, 400, 380.0f, 380.0f, 320.0f, 200.0f};
  camera.base_from_optical = scene::mountPose(0.0f, height, 0.0f);
  camera.max_depth = 10.0f;
  return camera;
}

struct AxisCase
{
  std::string name;
  scene::Object object;
  float camera_height;
  scene::Pose2 robot;
  double t;
  float depth;  // along the optical axis
};

TEST(SceneRender, AxisPixelSeesTheObjectAtItsDepthIdAndColour)
{
  scene::Object turned = scene::box(5, {2.3f, -0.2f, 0.0f}, {2.7f, 0.2f, 0.7f}, scene::kCyan,
    static_cast<float>(M_PI / 4));
  scene::Object cup = scene::cup(6, {1.5f, 0.0f}, scene::kYellow, 0.7f, 0.2f);
  const std::vector<AxisCase> cases = {
    {"box face", scene::box(4, {2.0f, -0.2f, 0.0f}, {2.4f, 0.2f, 0.7f}, scene::kRed), 0.35f, {}, 0.0,
      2.0f},
    {"yawed box edge", turned, 0.35f, {}, 0.0, 2.5f - 0.2f * std::sqrt(2.0f)},
    {"upright cylinder", cup, 0.35f, {}, 0.0, 1.4f},
    {"lying bottle", scene::bottle(7, {1.0f, 0.0f}, static_cast<float>(M_PI / 2), scene::kGreen),
      0.03f, {}, 0.0, 0.97f},
    // Walks from y = -1 to 0 in 2 s, facing its way: its 0.4 m width across x.
    {"walking person", scene::person(8, {3.0f, -1.0f}, {0.0f, 0.5f}, scene::kMagenta), 0.35f, {},
      2.0, 2.8f},
    // The robot at (1, 0) turned left sees a box 2 m to its left.
    {"robot turned", scene::box(9, {0.8f, 2.0f, 0.0f}, {1.2f, 2.4f, 0.7f}, scene::kBlue), 0.35f,
      {1.0f, 0.0f, static_cast<float>(M_PI / 2)}, 0.0, 2.0f},
  };
  for (const AxisCase & c : cases) {
    SCOPED_TRACE(c.name);
    scene::Scene s;
    s.room.objects = {c.object};
    s.robot = scene::RobotPath([&c](double) {return c.robot;});
    s.cameras = {levelCamera(c.camera_height)};
    const scene::Frame frame = scene::render(s, 0, c.t);
    EXPECT_NEAR(frame.depth.at<float>(200, 320), c.depth, 1e-4f);
    EXPECT_EQ(scene::millimetres(frame.depth).at<uint16_t>(200, 320),
      static_cast<uint16_t>(std::lround(c.depth * 1000.0f)));
    EXPECT_EQ(frame.ids.at<int32_t>(200, 320), c.object.id);
    const cv::Vec3b rgb = frame.colour.at<cv::Vec3b>(200, 320);
    EXPECT_EQ(rgb, cv::Vec3b(c.object.colour.r, c.object.colour.g, c.object.colour.b));
  }
}

// Every pixel's depth, put back in 3-D, lies on the surface its id names;
// each surface of the room shows.
TEST(SceneRender, EveryPixelLiesOnTheSurfaceItsIdNames)
{
  scene::Scene s;
  scene::Room & room = s.room;
  room.walls = scene::Walls{{-1.0f, -2.0f}, {4.0f, 2.0f}, 2.2f};
  room.ramp = scene::Ramp{2.8f, 0.2f};
  room.objects = {
    scene::box(1, {1.4f, 0.3f, 0.0f}, {1.8f, 0.8f, 0.5f}, scene::kBrown, 0.3f),
    scene::person(2, {2.2f, -0.6f}, {0.3f, 0.4f}),
    scene::bottle(3, {0.9f, -0.1f}, 0.7f),
    scene::cup(4, {1.1f, 0.4f}),
  };
  room.patches = {scene::stain(5, {1.0f, -0.5f}, {0.3f, 0.2f}, scene::kYellow, 0.4f),
    scene::escalatorEntrance(6, {2.5f, 0.9f}, 0.0f)};
  s.robot = scene::RobotPath::through({{0.0, {0.0f, 0.0f, 0.0f}}, {2.0, {0.4f, 0.1f, 0.2f}}});
  scene::Camera camera;
  camera.max_depth = 20.0f;
  camera.base_from_optical = scene::mountPose(0.1f, 0.4f, 0.3f);
  s.cameras = {camera};
  const double t = 0.7;
  const scene::Frame frame = scene::render(s, 0, t);

  const scene::Intrinsics & k = camera.intrinsics;
  std::map<int, int> pixels_of;
  int disagreeing = 0;
  for (int v = 0; v < k.height; ++v) {
    for (int u = 0; u < k.width; ++u) {
      const float d = frame.depth.at<float>(v, u);
      const int id = frame.ids.at<int32_t>(v, u);
      ++pixels_of[id];
      const Vector3f base =
        camera.base_from_optical * Vector3f((u - k.cx) * d / k.fx, (v - k.cy) * d / k.fy, d);
      disagreeing += scene::surfaceAt(s, t, base, 1e-3f) != id;
    }
  }
  for (const int id : {scene::kFloor, scene::kRamp, scene::kWall, 1, 2, 3, 4, 5, 6}) {
    EXPECT_GT(pixels_of[id], 20) << "surface " << id;
  }
  EXPECT_EQ(pixels_of[scene::kNothing], 0);  // closed room
  EXPECT_EQ(disagreeing, 0);
}

TEST(SceneRender, OpenSpaceAndFarSurfacesHaveNoDepth)
{
  scene::Camera camera = levelCamera(0.35f);
  camera.max_depth = 3.0f;
  scene::Room room;
  room.objects = {scene::box(1, {4.0f, -0.5f, 0.0f}, {4.5f, 0.5f, 1.0f})};
  const scene::Frame frame = scene::render(room, camera);
  EXPECT_EQ(frame.ids.at<int32_t>(200, 320), 1);  // truth beyond the range
  EXPECT_EQ(frame.depth.at<float>(200, 320), 0.0f);
  EXPECT_EQ(frame.ids.at<int32_t>(0, 320), scene::kNothing);
  EXPECT_EQ(frame.depth.at<float>(0, 320), 0.0f);
  EXPECT_EQ(frame.colour.at<cv::Vec3b>(0, 320), cv::Vec3b(0, 0, 0));
  EXPECT_EQ(frame.ids.at<int32_t>(399, 320), scene::kFloor);

  room.objects[0].id = 0;
  EXPECT_THROW(scene::render(room, camera), std::invalid_argument);
}

TEST(SceneRender, NoiseIsSeededPerFrameAndHasItsSpread)
{
  scene::Camera camera;
  camera.intrinsics.width = 200;
  camera.intrinsics.height = 120;
  camera.intrinsics.cx = 99.5f;
  camera.intrinsics.cy = 59.5f;
  scene::Room room;
  const scene::Frame exact = scene::render(room, camera);
  camera.noise = {0.01f, 0.0f, 0.05f, 7};
  const scene::Frame a = scene::render(room, camera, Eigen::Isometry3f::Identity(), 0.1);
  const scene::Frame b = scene::render(room, camera, Eigen::Isometry3f::Identity(), 0.1);
  const scene::Frame later = scene::render(room, camera, Eigen::Isometry3f::Identity(), 0.2);
  EXPECT_EQ(cv::norm(a.depth, b.depth, cv::NORM_INF), 0.0);
  EXPECT_GT(cv::norm(a.depth, later.depth, cv::NORM_INF), 0.0);

  int seen = 0, holes = 0;
  double square_sum = 0.0;
  for (int i = 0; i < exact.depth.rows * exact.depth.cols; ++i) {
    const float truth = exact.depth.ptr<float>()[i];
    const float measured = a.depth.ptr<float>()[i];
    if (truth <= 0.0f) {continue;}
    ++seen;
    if (measured == 0.0f) {
      ++holes;
      continue;
    }
    square_sum += (measured - truth) * (measured - truth);
  }
  ASSERT_GT(seen, 10000);
  EXPECT_NEAR(static_cast<double>(holes) / seen, 0.05, 0.01);
  EXPECT_NEAR(std::sqrt(square_sum / (seen - holes)), 0.01, 0.001);
}

}  // namespace
