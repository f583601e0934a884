// The geometric chain through the node: the 500-point floor of the voxel
// stage, the per-stage run-time block, the debug clouds, the camera-frame
// table, run-time ground changes and frames that cannot be used.
#include <algorithm>
#include <limits>
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
      rclcpp::Parameter("cam1.segmentation_bin_len", 0.05),
      rclcpp::Parameter("cam1.point_cloud_min_range", 0.45)});
  Recorder<Cloud> obstacle(harness_->peer(), "/cam1_obstacle_cloud");
  const auto node = harness_->node();
  depth(1000.0, 1000);

  // Values the ground fit cannot be built from are refused when set, whole
  // batch and all, and the stored parameters stay as they were.
  using P = rclcpp::Parameter;
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  struct Refusal {std::vector<P> batch; std::string reason;};
  const std::vector<Refusal> refusals{
    {{P("cam1.point_cloud_min_range", inf)}, "point_cloud_min_range must be finite"},
    {{P("cam1.max_obstacle_height", -inf)}, "max_obstacle_height must be finite"},
    {{P("cam1.max_obstacle_height", nan)}, "max_obstacle_height must be finite"},
    {{P("cam1.max_obstacle_height", 1e300)}, "max_obstacle_height must be finite"},
    {{P("cam1.point_cloud_min_range", -0.1)}, "point_cloud_min_range must not be negative"},
    {{P("cam1.segmentation_bin_len", -0.05)}, "segmentation_bin_len must be positive"},
    {{P("cam1.segmentation_bin_len", 0.0)}, "segmentation_bin_len must be positive"},
    {{P("cam1.segmentation_bin_len", 1e-9)}, "segmentation_bin_len too small"},
    {{P("cam1.max_obstacle_height", "high")}, "cam1.max_obstacle_height must be a number"},
    {{P("cam1.max_obstacle_height", true)}, "cam1.max_obstacle_height must be a number"},
    {{P("cam1.max_obstacle_height", std::vector<double>{3.0})},
      "cam1.max_obstacle_height must be a number"},
    {{P("cam1.max_obstacle_height", 3.0), P("cam1.point_cloud_min_range", inf)},
      "point_cloud_min_range must be finite"},
    {{P("cam1.max_obstacle_height", 3.0), P("cam1.segmentation_bin_len", "fine")},
      "cam1.segmentation_bin_len must be a number"},
  };
  for (const auto & r : refusals) {
    const auto what = ::testing::PrintToString(r.batch);
    const auto result = r.batch.size() == 1 ?
      node->set_parameters(r.batch).at(0) : node->set_parameters_atomically(r.batch);
    EXPECT_FALSE(result.successful) << what;
    EXPECT_NE(result.reason.find(r.reason), std::string::npos) << what << ": " << result.reason;
    EXPECT_DOUBLE_EQ(node->get_parameter("cam1.max_obstacle_height").as_double(), 0.666) << what;
    EXPECT_DOUBLE_EQ(node->get_parameter("cam1.point_cloud_min_range").as_double(), 0.45) << what;
    EXPECT_DOUBLE_EQ(node->get_parameter("cam1.segmentation_bin_len").as_double(), 0.05) << what;
    EXPECT_FALSE(camera()->groundFitUpdatePending()) << what;
  }
  depth(1000.1, 1000);
  // A valid change after the refused ones: the next frame builds its fit.
  const bool raised = node->set_parameters({P("cam1.max_obstacle_height", 3.0)})[0].successful;
  depth(1000.2, 1000);
  obstacle.reaches(3);
  const auto texts = stopCapture();

  EXPECT_TRUE(raised);
  std::vector<uint32_t> widths;
  for (const auto & cloud : obstacle.messages()) {
    widths.push_back(cloud->width);
  }
  // The wall stands 1.5 m high: above the first obstacle ceiling, below the
  // raised one; the refused values never reached a frame.
  ASSERT_EQ(widths.size(), 3U);
  EXPECT_EQ(widths[0], 0U);
  EXPECT_EQ(widths[1], 0U);
  EXPECT_GT(widths[2], 500U);
  EXPECT_EQ(
    linesStarting(texts, "INFO DepthCamera::process update a new RemoveGroundLineFit").size(), 1U);
  EXPECT_TRUE(linesStarting(texts, "ERROR cam_1 keeps its ground fit").empty());
  EXPECT_EQ(
    linesStarting(texts, "WARN cam_1 refuses the new ground values: ").size(), refusals.size());
}

TEST_F(PipelineTest, AGroundBatchOneCameraRefusesChangesNoOtherCamera)
{
  // Camera 2's callback runs first and accepts its key; camera 1's refuses
  // the batch, so rclcpp sets none of it and camera 2 must keep its fit.
  using P = rclcpp::Parameter;
  startNode(
    {P("cam1.max_obstacle_height", 0.666), P("cam2.max_obstacle_height", 0.666)}, 1000.0,
    defaultFeeds(2));
  Recorder<Cloud> obstacle(harness_->peer(), "/cam2_obstacle_cloud");
  const auto node = harness_->node();
  const bool refused = !node->set_parameters_atomically(
    {P("cam2.max_obstacle_height", 3.0),
      P("cam1.max_obstacle_height", std::numeric_limits<double>::quiet_NaN())}).successful;
  depth(1000.0, 1000, 2);
  const bool raised = node->set_parameters({P("cam2.max_obstacle_height", 3.0)})[0].successful;
  depth(1000.1, 1000, 2);
  obstacle.reaches(2);
  const auto texts = stopCapture();

  EXPECT_TRUE(refused);
  EXPECT_TRUE(raised);
  ASSERT_EQ(obstacle.count(), 2U);
  EXPECT_EQ(obstacle.messages()[0]->width, 0U);
  EXPECT_GT(obstacle.messages()[1]->width, 500U);
  EXPECT_EQ(
    linesStarting(texts, "INFO DepthCamera::process update a new RemoveGroundLineFit").size(), 1U);
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
