// The geometric chain through the node: the 500-point floor of the voxel
// stage, the per-stage run-time block, the debug clouds, the camera-frame
// table, run-time ground changes and frames that cannot be used.
#include <algorithm>
#include <string>
#include <vector>

#include "pipeline_fixture.hpp"
#include "visualization_msgs/msg/marker_array.hpp"

namespace node_test
{
namespace
{

using Cloud = sensor_msgs::msg::PointCloud2;

// A frame whose depth is 1 m in `blocks` blocks of 2 x 2 pixels (the default
// stride), packed in rows of 25 blocks from the top-left corner.
sensor_msgs::msg::Image patch(double stamp, int blocks)
{
  auto image = makeImage("16UC1", 640, 400, stamp, 0);
  for (int b = 0; b < blocks; ++b) {
    const std::size_t row = 2 * (b / 25);
    const std::size_t column = 2 * (b % 25);
    const std::size_t at = row * image.step + column * 2;
    image.data[at] = 1000 & 0xFF;
    image.data[at + 1] = 1000 >> 8;
  }
  return image;
}

std::vector<std::string> stageLines(const std::vector<std::string> & texts)
{
  std::vector<std::string> stages;
  for (const auto & text : linesStarting(texts, "DEBUG cam_1 :<")) {
    stages.push_back(text.substr(14, text.find('>') - 14));
  }
  return stages;
}

TEST_F(PipelineTest, FiveHundredPointsEndTheFrameAndTheRunTimeBlockFollowsTheChain)
{
  startNode({});
  Recorder<Cloud> base(harness_->peer(), "/cam1_base_cloud");
  depth(patch(1000.0, 500));
  depth(patch(1000.1, 501));
  const bool published = base.reaches(1);
  const auto texts = stopCapture();
  ASSERT_TRUE(published);
  EXPECT_NEAR(stampOf(base.messages()[0]->header.stamp), 1000.1, 1e-6);
  EXPECT_EQ(linesStarting(texts, "DEBUG cam_1 encounter an empty depth cloud").size(), 1U);
  EXPECT_EQ(linesStarting(texts, "DEBUG depth to cloud get points = ").size(), 2U);
  // The empty frame closes with the three end lines only; the full one with
  // the stage block first.
  EXPECT_EQ(
    stageLines(texts), (std::vector<std::string>{
    "search_rgb", "process", "callback", "depth_to_cloud", "sample_cloud", "cam_to_base",
    "remove_ground", "cloud_cluster", "dynamic_detector", "trad_method",
    "pointCloud_assign_lable", "ai_method", "search_rgb", "process", "callback"}));
}

TEST_F(PipelineTest, DebugCloudsGoOutInTheBaseFrame)
{
  startNode({});
  Recorder<Cloud> base(harness_->peer(), "/cam1_base_cloud");
  Recorder<Cloud> obstacle(harness_->peer(), "/cam1_obstacle_cloud");
  Recorder<Cloud> ground(harness_->peer(), "/cam1_ground_cloud");
  Recorder<Cloud> clusters(harness_->peer(), "/cam1_cluster_cloud");
  Recorder<Cloud> outliers(harness_->peer(), "/cam1_outlier_points");
  Recorder<visualization_msgs::msg::MarkerArray> lines(harness_->peer(), "/cam1_ground_line");
  rgb(1000.02);
  depth(1000.0, 1000);
  ASSERT_TRUE(waitFor([&] {return lines.count() == 1;}));
  for (const auto * recorder : {&base, &obstacle, &ground, &clusters}) {
    ASSERT_TRUE(recorder->reaches(1));
    EXPECT_EQ(recorder->messages()[0]->header.frame_id, "base_footprint");
    EXPECT_NEAR(stampOf(recorder->messages()[0]->header.stamp), 1000.01, 1e-6);
  }
  ASSERT_TRUE(outliers.reaches(1));
  EXPECT_EQ(outliers.messages()[0]->header.frame_id, "base_footprint");
  // Outliers carry the system time, not the simulated frame time.
  EXPECT_GT(stampOf(outliers.messages()[0]->header.stamp), 1.6e9);
  const auto & fields = clusters.messages()[0]->fields;
  EXPECT_TRUE(std::any_of(fields.begin(), fields.end(), [](const auto & f) {return f.name == "rgb";}));
  // Points of a 1 m wall in front of the (upward-looking) harness camera.
  EXPECT_GT(base.messages()[0]->width, 1000U);
}

TEST_F(PipelineTest, DebugOffPublishesNothingButTheChainRuns)
{
  startNode({rclcpp::Parameter("debug", false)});
  Recorder<Cloud> base(harness_->peer(), "/cam1_base_cloud");
  depth(1000.0, 1000);
  const auto texts = stopCapture();
  EXPECT_EQ(base.count(), 0U);
  EXPECT_EQ(linesStarting(texts, "DEBUG numCluster = ").size(), 1U);
  EXPECT_TRUE(stageLines(texts).empty());
}

TEST_F(PipelineTest, CameraSixGrowsTheCameraFrameTable)
{
  std::vector<rclcpp::Parameter> closed;
  for (int i = 1; i <= 5; ++i) {
    closed.emplace_back("close_cam" + std::to_string(i), true);
  }
  startNode(closed, 1000.0, defaultFeeds(6));
  EXPECT_FALSE(getCameraFrame(6));
  depth(1000.0, 1000, 6);
  const auto entry = getCameraFrame(6);
  ASSERT_TRUE(entry);
  FovPoints points;
  EXPECT_TRUE(entry->getFovPoints(points));
  EXPECT_FLOAT_EQ(entry->origin.x(), 0.2F);
}

TEST_F(PipelineTest, GroundChangesTakeEffectAtTheNextFrame)
{
  // Run-time names are declared by giving them at start.
  startNode({
      rclcpp::Parameter("cam1.max_obstacle_height", 0.666),
      rclcpp::Parameter("cam1.segmentation_bin_len", 0.05)});
  Recorder<Cloud> obstacle(harness_->peer(), "/cam1_obstacle_cloud");
  depth(1000.0, 1000);
  const bool raised = harness_->node()->set_parameters(
    {rclcpp::Parameter("cam1.max_obstacle_height", 3.0)})[0].successful;
  depth(1000.1, 1000);
  // A value the fitter cannot work with keeps the fitter of the last change.
  harness_->node()->set_parameters({rclcpp::Parameter("cam1.segmentation_bin_len", 0.0)});
  depth(1000.2, 1000);
  depth(1000.3, 1000);
  obstacle.reaches(4);
  const auto texts = stopCapture();

  EXPECT_TRUE(raised);
  std::vector<uint32_t> widths;
  for (const auto & cloud : obstacle.messages()) {
    widths.push_back(cloud->width);
  }
  // The wall stands 1.5 m high: above the first obstacle ceiling, below the second.
  ASSERT_EQ(widths.size(), 4U);
  EXPECT_EQ(widths[0], 0U);
  EXPECT_GT(widths[1], 500U);
  EXPECT_EQ(widths[2], widths[1]);
  EXPECT_EQ(widths[3], widths[1]);
  EXPECT_EQ(
    linesStarting(texts, "INFO DepthCamera::process update a new RemoveGroundLineFit").size(), 2U);
  const auto refused = linesStarting(texts, "ERROR cam_1 keeps its ground fit");
  ASSERT_EQ(refused.size(), 1U);
  EXPECT_NE(refused[0].find("segmentation_bin_len"), std::string::npos) << refused[0];
}

TEST_F(PipelineTest, BadImagesCostTheirFrameOnly)
{
  startNode({});
  Recorder<Cloud> base(harness_->peer(), "/cam1_base_cloud");
  auto broken = wall(1000.0, 1000);
  broken.data.resize(broken.data.size() / 2);
  depth(broken);
  rgb(1000.1, 1, "32FC1");
  depth(1000.1, 1000);
  const bool published = base.reaches(1);
  const auto texts = stopCapture();
  // The frame after the broken depth image runs; its colour image, readable
  // but not colour, cannot be converted, so it runs without one.
  ASSERT_TRUE(published);
  EXPECT_NEAR(stampOf(base.messages()[0]->header.stamp), 1000.1, 1e-6);
  EXPECT_EQ(linesStarting(texts, "WARN cam_1 colour image dropped").size(), 1U);
  EXPECT_EQ(linesStarting(texts, "DEBUG cam_1 abandon or close run ai").size(), 1U);
  EXPECT_EQ(errorLines(texts).size(), 1U) << ::testing::PrintToString(texts);
}

}  // namespace
}  // namespace node_test
