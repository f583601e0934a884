// Depth intake and pairing: which colour image a frame gets, the frame stamp
// on what the frame publishes, the mismatch warning, the queues and the
// latency trace.
#include <string>
#include <vector>

#include "pipeline_fixture.hpp"

namespace node_test
{
namespace
{

using Cloud = sensor_msgs::msg::PointCloud2;

// Microseconds of each "<stage> runtime" line of `stage`, in frame order.
std::vector<long> runtimes(const std::vector<std::string> & texts, const std::string & stage)
{
  std::vector<long> values;
  for (const auto & line : linesStarting(texts, "DEBUG cam_1 :<" + stage + "> runtime = ")) {
    values.push_back(std::stol(line.substr(line.find('=') + 2)));
  }
  return values;
}

TEST_F(PipelineTest, ClosestColourImagePairsAndSetsTheFrameStamp)
{
  startNode({});
  Recorder<Cloud> base(harness_->peer(), "/cam1_base_cloud");
  rgb(1000.05);
  depth(1000.0, 1000);   // 0.05 s apart: paired at once
  depth(1000.25, 1000);  // 0.2 s from the only colour image: never paired, still attached
  rgb(1000.46875);
  rgb(1000.53125);
  depth(1000.5, 1000);   // two equal differences: the earlier-queued image
  const bool published = base.reaches(3);
  const auto texts = stopCapture();

  ASSERT_TRUE(published);
  std::vector<double> stamps;
  for (const auto & cloud : base.messages()) {
    stamps.push_back(stampOf(cloud->header.stamp));
    EXPECT_EQ(cloud->header.frame_id, "base_footprint");
  }
  EXPECT_NEAR(stamps[0], 1000.025, 1e-6);
  EXPECT_NEAR(stamps[1], 1000.15, 1e-6);
  EXPECT_NEAR(stamps[2], 1000.484375, 1e-6);

  const auto warnings = linesStarting(texts, "WARN ErrorCo:100700003");
  ASSERT_EQ(warnings.size(), 1U);
  EXPECT_EQ(
    warnings[0].rfind(
      "WARN ErrorCo:100700003, The difference between depth=1000.25 and rgb=1000.05 timestamp "
      "is too large of cam_1, diff=0.2", 0), 0U) << warnings[0];
  const std::string tail = "only use trad method ";
  EXPECT_EQ(warnings[0].substr(warnings[0].size() - tail.size()), tail);
  // A colour image too far apart still goes through the AI step.
  EXPECT_EQ(linesStarting(texts, "DEBUG cam_1 run ai").size(), 3U);
  // The unpaired search tried five times, sleeping after each; the paired ones never slept.
  const auto search = runtimes(texts, "search_rgb");
  ASSERT_EQ(search.size(), 3U);
  EXPECT_GE(search[1], 50000);
  EXPECT_LT(search[0], search[1]);
  EXPECT_LT(search[2], search[1]);
}

TEST_F(PipelineTest, WithoutWaitingNoFrameIsPairedAndTheAiStepIsSkipped)
{
  startNode({rclcpp::Parameter("depth_rgb_wait_time_ms", 0)});
  Recorder<Cloud> base(harness_->peer(), "/cam1_base_cloud");
  rgb(1000.0);
  depth(1000.0, 1000);
  const bool published = base.reaches(1);
  const auto texts = stopCapture();
  ASSERT_TRUE(published);
  // No colour image at all: the frame stands at the depth stamp.
  EXPECT_NEAR(stampOf(base.messages()[0]->header.stamp), 1000.0, 1e-9);
  EXPECT_EQ(linesStarting(texts, "WARN ErrorCo:100700003").size(), 1U);
  EXPECT_EQ(linesStarting(texts, "DEBUG cam_1 abandon or close run ai").size(), 1U);
  EXPECT_TRUE(linesStarting(texts, "DEBUG cam_1 run ai").empty());
}

TEST_F(PipelineTest, DepthQueueAndLatencyTrace)
{
  // Small frames, and the camera info of their size.
  auto feeds = defaultFeeds(1);
  feeds[0].width = 8;
  feeds[0].height = 6;
  startNode(
    {rclcpp::Parameter("depth_rgb_wait_time_ms", 0), rclcpp::Parameter("data_flow_trace", true)},
    1000.0, feeds);
  for (int frame = 1; frame <= 75; ++frame) {
    depth(makeImage("16UC1", 8, 6, 999.75, 1000));
    if (frame == 16) {
      EXPECT_EQ(camera()->depthQueueSize(), 15U);  // the 16th pushed the oldest out
    }
  }
  const auto texts = stopCapture();
  std::size_t frames_before = 0;
  std::size_t traces = 0;
  for (const auto & text : texts) {
    if (text.rfind("DEBUG camera_1 depthCallback get msg-time", 0) == 0) {
      ++frames_before;
    } else if (text.rfind("INFO camera_1 depthCallback time fly even", 0) == 0) {
      ++traces;
      EXPECT_EQ(frames_before, 75U);
      EXPECT_EQ(text, "INFO camera_1 depthCallback time fly even = 0.2500(s)");
    }
  }
  EXPECT_EQ(traces, 1U);
  // The trace closes every frame with the three run-time lines.
  EXPECT_EQ(runtimes(texts, "callback").size(), 75U);
}

}  // namespace
}  // namespace node_test
