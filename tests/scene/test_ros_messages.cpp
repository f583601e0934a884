// The messages of a rendered frame: images, camera info and the frame tree.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "cv_bridge/cv_bridge.h"
#include "scene/ros_messages.hpp"
#include "tf2/buffer_core.h"

namespace
{

scene::Camera smallCamera()
{
  scene::Camera camera;
  camera.frame_id = "camera_02_depth_optical_frame";
  camera.intrinsics = {64, 40, 40.0f, 41.0f, 31.5f, 19.5f};
  return camera;
}

scene::Frame boxInView(const scene::Camera & camera)
{
  scene::Room room;
  room.objects = {scene::box(3, {1.0f, -0.3f, 0.0f}, {1.3f, 0.3f, 0.5f}, scene::kGreen)};
  return scene::render(room, camera);
}

TEST(SceneMessages, ImagesCarryTheFrameInEachEncoding)
{
  const scene::Camera camera = smallCamera();
  const scene::Frame frame = boxInView(camera);
  struct Case
  {
    sensor_msgs::msg::Image message;
    std::string encoding;
    uint32_t bytes_per_pixel;
    cv::Mat expected;
  };
  const std::vector<Case> cases = {
    {scene::depthImage(frame, scene::DepthEncoding::kMillimetres, 12.25, camera.frame_id), "16UC1",
      2, scene::millimetres(frame.depth)},
    {scene::depthImage(frame, scene::DepthEncoding::kMetres, 12.25, camera.frame_id), "32FC1", 4,
      frame.depth},
    {scene::colourImage(frame, 12.25, camera.frame_id), "rgb8", 3, frame.colour},
  };
  for (const Case & c : cases) {
    SCOPED_TRACE(c.encoding);
    const sensor_msgs::msg::Image & m = c.message;
    EXPECT_EQ(m.encoding, c.encoding);
    EXPECT_EQ(m.width, 64u);
    EXPECT_EQ(m.height, 40u);
    EXPECT_EQ(m.step, 64u * c.bytes_per_pixel);
    EXPECT_EQ(m.data.size(), static_cast<std::size_t>(m.step) * m.height);
    EXPECT_EQ(m.header.frame_id, "camera_02_depth_optical_frame");
    EXPECT_EQ(m.header.stamp.sec, 12);
    EXPECT_EQ(m.header.stamp.nanosec, 250000000u);
    const cv::Mat decoded = cv_bridge::toCvCopy(m)->image;
    EXPECT_EQ(cv::norm(decoded, c.expected, cv::NORM_INF), 0.0);
  }
  EXPECT_GT(cv::countNonZero(scene::millimetres(frame.depth)), 0);
}

TEST(SceneMessages, CameraInfoHasTheIntrinsicsRowMajor)
{
  const scene::Camera camera = smallCamera();
  const sensor_msgs::msg::CameraInfo info = scene::cameraInfo(camera, 3.0, camera.frame_id);
  EXPECT_EQ(info.width, 64u);
  EXPECT_EQ(info.height, 40u);
  EXPECT_EQ(info.header.frame_id, camera.frame_id);
  const std::array<double, 9> k = {40.0, 0.0, 31.5, 0.0, 41.0, 19.5, 0.0, 0.0, 1.0};
  EXPECT_EQ(info.k, k);
  EXPECT_EQ(info.p[2], 31.5);
  EXPECT_EQ(info.p[6], 19.5);
}

// Through an independent frame tree: a point one metre ahead of the camera
// lands in map where the scene puts it.
TEST(SceneMessages, TransformsConnectMapToTheCamera)
{
  scene::FrameTree frames;
  frames.map_from_odom_fusion.translate(Eigen::Vector3f(10.0f, 0.0f, 0.0f));
  frames.map_from_odom_fusion.rotate(Eigen::AngleAxisf(0.5f, Eigen::Vector3f::UnitZ()));
  const scene::RobotPath robot =
    scene::RobotPath::through({{1.0, {1.0f, 0.0f, 0.0f}}, {2.0, {2.0f, 1.0f, 1.0f}}});
  scene::Camera camera = smallCamera();
  camera.base_from_optical = scene::mountPose(0.2f, 0.4f, 0.3f, -0.5f, 0.1f);

  tf2::BufferCore buffer;
  for (const auto & t : scene::fixedTransforms(frames, 0.0)) {
    ASSERT_TRUE(buffer.setTransform(t, "test", true));
  }
  ASSERT_TRUE(buffer.setTransform(scene::mountTransform(camera, 0.0), "test", true));
  ASSERT_TRUE(buffer.setTransform(scene::robotTransform(robot, 1.0, 1.0), "test"));
  ASSERT_TRUE(buffer.setTransform(scene::robotTransform(robot, 2.0, 2.0), "test"));
  const auto found = buffer.lookupTransform(scene::kMapFrame, camera.frame_id, tf2::timeFromSec(1.5));

  const auto & tr = found.transform;
  const Eigen::Quaternionf q(tr.rotation.w, tr.rotation.x, tr.rotation.y, tr.rotation.z);
  const Eigen::Vector3f ahead = q * Eigen::Vector3f::UnitZ() +
    Eigen::Vector3f(tr.translation.x, tr.translation.y, tr.translation.z);
  const Eigen::Vector3f expected = frames.map_from_odom_fusion * robot.odomFromBase(1.5) *
    camera.base_from_optical * Eigen::Vector3f::UnitZ();
  EXPECT_LT((ahead - expected).norm(), 1e-4f);
}

}  // namespace
