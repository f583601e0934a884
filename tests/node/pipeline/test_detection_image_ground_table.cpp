// Camera 2's colour-camera person list: the floor table of the camera's own
// image size, the foot pixel of a box and the list built from the boxes.
#include <array>
#include <cmath>
#include <string>
#include <vector>

#include <Eigen/Geometry>
#include <gtest/gtest.h>

#include "quorvane_object_detect/rgb_objects.hpp"
#include "semantic.pb.h"

namespace
{

using pelorin::perception::RgbDetector;

struct Camera
{
  const char * name;
  int width, height;
  std::array<float, 4> intrinsics;  // fx, fy, cx, cy
  float height_on_robot;            // metres above the base origin
  float pitch_down;                 // radians
};

// A 640 x 400 camera tilted to the floor; a level, higher 640 x 480 camera,
// whose feet at 2 m lie below row 400; a wide 1280 x 720 camera.
const std::vector<Camera> kCameras{
  {"640x400", 640, 400, {380.0F, 380.0F, 319.5F, 199.5F}, 0.35F, 0.45F},
  {"640x480", 640, 480, {600.0F, 600.0F, 319.5F, 239.5F}, 0.6F, 0.0F},
  {"1280x720", 1280, 720, {900.0F, 900.0F, 639.5F, 359.5F}, 0.35F, 0.3F}};

// The optical frame (x right, y down, z forward) in the base frame.
Eigen::Matrix4f mount(const Camera & camera)
{
  Eigen::Matrix3f optical_axes;
  optical_axes << 0, 0, 1, -1, 0, 0, 0, -1, 0;
  Eigen::Matrix4f m = Eigen::Matrix4f::Identity();
  m.block<3, 3>(0, 0) = Eigen::AngleAxisf(camera.pitch_down, Eigen::Vector3f::UnitY()) *
    optical_axes;
  m.block<3, 1>(0, 3) = Eigen::Vector3f(0.1F, 0.0F, camera.height_on_robot);
  return m;
}

RgbDetector tableOf(const Camera & camera)
{
  return groundTable(camera.intrinsics, mount(camera), camera.width, camera.height);
}

// The direction of pixel (u, v)'s viewing ray in the base frame.
Eigen::Vector3d rayOf(const Camera & camera, int u, int v)
{
  const auto & k = camera.intrinsics;
  const Eigen::Vector3d in_camera((u - k[2]) / k[0], (v - k[3]) / k[1], 1.0);
  return mount(camera).block<3, 3>(0, 0).cast<double>() * in_camera;
}

BboxInfo box(int class_id, int x1, int y1, int x2, int y2)
{
  return {x1, y1, x2, y2, {}, {}, 0.0F, class_id};
}

TEST(GroundTable, FootPixelIsMidBottomKeptWithinTheTable)
{
  struct Case
  {
    int width, height, x1, x2, y2;
    cv::Point foot;
  };
  for (const Case & c : std::vector<Case>{
      {640, 400, 100, 201, 450, {150, 399}},
      {640, 480, 100, 201, 450, {150, 450}},
      {640, 400, -41, 0, -3, {0, 0}},
      {640, 400, 700, 900, 10, {639, 10}},
      {1280, 720, 700, 900, 450, {800, 450}}})
  {
    RgbDetector table;
    table.width = c.width;
    table.height = c.height;
    EXPECT_EQ(footPixel(box(semantic::PERSON, c.x1, 0, c.x2, c.y2), table), c.foot)
      << c.width << "x" << c.height << " " << c.x1 << " " << c.x2 << " " << c.y2;
  }
}

class GroundTableOf : public ::testing::TestWithParam<Camera>
{
};

TEST_P(GroundTableOf, CoversTheCameraImageAndMissesExactlyTheRisingRays)
{
  const Camera & camera = GetParam();
  const RgbDetector table = tableOf(camera);
  ASSERT_EQ(table.width, camera.width);
  ASSERT_EQ(table.height, camera.height);
  EXPECT_EQ(table.ground_height, -0.11F);
  ASSERT_EQ(table.ground_points.rows(), 3);
  ASSERT_EQ(table.ground_points.cols(), static_cast<Eigen::Index>(camera.width) * camera.height);

  int misses = 0;
  int wrong = 0;
  for (int v = 0; v < camera.height; ++v) {
    for (int u = 0; u < camera.width; ++u) {
      const Eigen::Vector3f g = table.ground_points.col(static_cast<Eigen::Index>(v) *
          camera.width + u);
      const double rise = rayOf(camera, u, v).z();
      if (std::abs(rise) < 1e-4) {
        continue;  // grazing the horizon: either answer will do
      }
      const bool missed = g == Eigen::Vector3f(1000.0F, 1000.0F, -0.11F);
      misses += missed;
      // A falling ray meets the floor ahead of the camera.
      wrong += rise > 0 ? !missed : (missed || !(g.x() > 0.1F) || g.z() != -0.11F);
    }
  }
  EXPECT_GT(misses, camera.width) << "every camera sees rows above the horizon";
  EXPECT_EQ(wrong, 0);
}

TEST_P(GroundTableOf, PlacesAPersonAtTwoMetresWithinFiveCentimetres)
{
  const Camera & camera = GetParam();
  const RgbDetector table = tableOf(camera);
  const Eigen::Matrix4f base_to_camera = mount(camera).inverse();
  const auto & k = camera.intrinsics;
  for (const float left : {-0.5F, 0.0F, 0.5F}) {
    const Eigen::Vector3f truth(2.0F, left, -0.11F);
    const Eigen::Vector4f seen = base_to_camera * truth.homogeneous();
    const int u = static_cast<int>(std::lround(k[0] * seen.x() / seen.z() + k[2]));
    const int v = static_cast<int>(std::lround(k[1] * seen.y() / seen.z() + k[3]));
    ASSERT_GE(v, 0);
    ASSERT_LT(v, camera.height);
    const auto list = rgbObjectList({box(semantic::PERSON, u - 30, v - 200, u + 30, v)}, table, 2,
        0.0);
    ASSERT_EQ(list.objects.size(), 1U);
    const auto & at = list.objects[0].pose.position;
    EXPECT_LT((Eigen::Vector3f(at.x, at.y, at.z) - truth).norm(), 0.05F)
      << "left " << left << " pixel " << u << ", " << v;
  }
}

INSTANTIATE_TEST_SUITE_P(
  Cameras, GroundTableOf, ::testing::ValuesIn(kCameras),
  [](const ::testing::TestParamInfo<Camera> & info) {return std::string(info.param.name);});

TEST(RgbObjectList, PersonsOnTheirFootPointsOthersPassedOver)
{
  const RgbDetector table = tableOf(kCameras[0]);
  const Eigen::Vector3f foot = table.ground_points.col(150 + 640 * 399);
  const auto list = rgbObjectList({
      box(semantic::BOTTLE, 300, 300, 340, 380),
      box(semantic::PERSON, 100, 200, 201, 450),
      box(semantic::PERSON, 300, 0, 340, 5)},  // feet in the sky
    table, 2, 1000.25);

  EXPECT_EQ(list.header.frame_id, "base_footprint");
  EXPECT_EQ(list.header.stamp.sec, 1000);
  EXPECT_EQ(list.header.stamp.nanosec, 250000000U);
  EXPECT_EQ(list.source, "camera_2_rgb");
  EXPECT_EQ(list.source_type, 1);
  ASSERT_EQ(list.objects.size(), 2U);

  const auto & person = list.objects[0];
  EXPECT_EQ(person.pose.position.x, static_cast<double>(foot.x()));
  EXPECT_EQ(person.pose.position.y, static_cast<double>(foot.y()));
  EXPECT_EQ(person.pose.position.z, static_cast<double>(foot.z()));
  EXPECT_EQ(person.pose.orientation.w, 1.0);
  ASSERT_EQ(person.polygon.points.size(), 4U);
  const float dx[] = {-0.25F, -0.25F, 0.25F, 0.25F};
  const float dy[] = {-0.25F, 0.25F, 0.25F, -0.25F};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(person.polygon.points[i].x, foot.x() + dx[i]) << i;
    EXPECT_EQ(person.polygon.points[i].y, foot.y() + dy[i]) << i;
    EXPECT_EQ(person.polygon.points[i].z, 0.0F) << i;
  }
  EXPECT_EQ(person.pixel_bbox, (std::array<double, 4>{100.0, 200.0, 201.0, 450.0}));
  EXPECT_EQ(person.is_person, 1);
  EXPECT_EQ(person.height, 0.0);
  EXPECT_TRUE(person.tags.empty());

  const auto & sky = list.objects[1].pose.position;
  EXPECT_EQ(sky.x, 1000.0);
  EXPECT_EQ(sky.y, 1000.0);
  EXPECT_EQ(sky.z, static_cast<double>(-0.11F));

  const auto empty = rgbObjectList({}, table, 2, 1000.25);
  EXPECT_TRUE(empty.objects.empty());
  EXPECT_EQ(empty.source, "camera_2_rgb");
}

}  // namespace
