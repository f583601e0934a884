// The recorded RGB-D frames through the node: camera info from their
// intrinsics, the base frame from a floor fit.  Real noise, holes and edges
// must not cost an error line, and the floor must come out as ground.
#include <cmath>
#include <string>
#include <vector>

#include "cv_bridge/cv_bridge.h"
#include "floor_calibration.hpp"
#include "pipeline_fixture.hpp"
#include "recorded_frames.hpp"

namespace node_test
{
namespace
{

using Cloud = sensor_msgs::msg::PointCloud2;
constexpr float kNearFloor = 0.02F;  // m

// The frame's camera: its intrinsics and the mount the floor fit gives.
scene::Camera cameraOf(const recorded::DepthFrame & frame, const cv::Mat & depth)
{
  scene::Camera camera;
  camera.intrinsics = {
    depth.cols, depth.rows, frame.intrinsics.fx, frame.intrinsics.fy, frame.intrinsics.cx,
    frame.intrinsics.cy};
  // A floor fit is rigid: its affine result is an isometry.
  camera.base_from_optical = Eigen::Isometry3f(
    recorded::calibrateFloor(recorded::loadCloud(frame, 2, 4.0F)).camera_to_base.matrix());
  // These cameras sit high (1.4 m in the dining room): the floor starts
  // beyond the robot's usual 2 m.
  camera.max_depth = 4.0F;
  return camera;
}

// As a driver sends it: millimetres.
sensor_msgs::msg::Image millimetres(const cv::Mat & metres, double stamp)
{
  cv::Mat depth;
  metres.convertTo(depth, CV_16UC1, 1000.0);
  std_msgs::msg::Header header;
  header.stamp.sec = static_cast<int32_t>(stamp);
  header.frame_id = defaultFeeds(1)[0].frame_id;
  return *cv_bridge::CvImage(header, "16UC1", depth).toImageMsg();
}

TEST_F(PipelineTest, RecordedFramesRunWithoutErrors)
{
  const std::string folder = recorded::dataFolder();
  if (folder.empty()) {
    GTEST_SKIP() << "no recorded RGB-D frames beside the repository";
  }
  for (const recorded::DepthFrame & frame : recorded::listFrames(folder)) {
    SCOPED_TRACE(frame.name);
    const cv::Mat metres = recorded::loadDepth(frame);
    ASSERT_FALSE(metres.empty());
    const scene::Camera camera = cameraOf(frame, metres);
    startNode(groundParameters(camera), 1000.0, {feedOf(camera)});
    Recorder<Cloud> ground(harness_->peer(), "/cam1_ground_cloud");
    Recorder<Cloud> obstacle(harness_->peer(), "/cam1_obstacle_cloud");
    for (int k = 0; k < 3; ++k) {
      depth(millimetres(metres, 1000.0 + k));
    }
    const bool delivered = ground.reaches(3) && obstacle.reaches(3);
    const auto texts = stopCapture();
    harness_.reset();
    ASSERT_TRUE(delivered);
    EXPECT_TRUE(errorLines(texts).empty()) << ::testing::PrintToString(errorLines(texts));

    // Points near the calibrated floor are ground.
    int floor = 0;
    int floor_as_ground = 0;
    for (const auto & [message, is_ground] : {
        std::make_pair(ground.messages()[2], true), std::make_pair(obstacle.messages()[2], false)})
    {
      for (const auto & p : fromMessage<pcl::PointXYZ>(*message)) {
        if (std::fabs(p.z) <= kNearFloor) {
          ++floor;
          floor_as_ground += is_ground;
        }
      }
    }
    ASSERT_GT(floor, 100);
    EXPECT_GE(static_cast<double>(floor_as_ground) / floor, 0.95) << floor << " floor points";
    EXPECT_GT(obstacle.messages()[2]->width, 0U);
  }
}

}  // namespace
}  // namespace node_test
