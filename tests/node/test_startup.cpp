// Start-up of the real node on the stand-in: parameters, cameras, geometry,
// and the log lines of start-up in their order.
#include <algorithm>
#include <future>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "node_harness.hpp"
#include "quorvane_object_detect/depth_camera.hpp"

namespace node_test
{
namespace
{

// True when `wanted` occurs in `texts` in this order (other lines between).
::testing::AssertionResult inOrder(
  const std::vector<std::string> & texts, const std::vector<std::string> & wanted)
{
  std::size_t next = 0;
  for (const auto & text : texts) {
    if (next < wanted.size() && text.rfind(wanted[next], 0) == 0) {++next;}
  }
  if (next == wanted.size()) {return ::testing::AssertionSuccess();}
  auto failure = ::testing::AssertionFailure() << "missing, in order: \"" << wanted[next] << "\"\n";
  for (const auto & text : texts) {failure << "  | " << text << "\n";}
  return failure;
}

TEST(StartUp, DefaultsBuildTwoCamerasWithGeometryAndLogInOrder)
{
  auto feeds = defaultFeeds();
  feeds[0].unknown_frame_answers = 1;  // camera 1 first meets a frame tf2 does not know
  feeds[1].uncalibrated_answers = 1;   // camera 2 first gets zero intrinsics
  testing::internal::CaptureStdout();
  std::vector<std::string> texts;
  {
    NodeHarness harness(baseParameters());
    harness.start(feeds);
    texts = logTexts(testing::internal::GetCapturedStdout());
    const auto node = harness.node();

    EXPECT_EQ(node->executorThreads(), 1U);
    EXPECT_EQ(node->cameras(), 2);
    EXPECT_EQ(
      node->trackerConfig(), std::string(QUORVANE_AMENT_PREFIX) +
      "/share/quorvane_object_detect/config/default_params/tracker.yaml");
    ASSERT_EQ(node->cameraTopics().size(), 2U);
    EXPECT_EQ(node->cameraTopics()[0].camera_info, "/camera_01/depth/camera_info");
    EXPECT_EQ(node->cameraTopics()[0].rgb, "/camera_01/color/image_raw");
    EXPECT_EQ(node->cameraTopics()[0].depth, "/camera_01/depth/image_raw");
    EXPECT_EQ(node->cameraTopics()[1].depth, "/camera_02/depth/image_raw");
    ASSERT_TRUE(node->trashTracker());

    ASSERT_EQ(node->depthCameras().size(), 2U);
    for (int n = 0; n < 2; ++n) {
      const auto & camera = node->depthCameras()[static_cast<std::size_t>(n)];
      ASSERT_TRUE(camera);
      SCOPED_TRACE("camera " + std::to_string(n + 1));
      EXPECT_EQ(camera->cameraId(), n + 1);
      EXPECT_TRUE(camera->isActive());
      EXPECT_EQ(camera->intrinsics(), (std::array<float, 4>{600.F, 610.F, 320.F, 240.F}));
      EXPECT_EQ(camera->imageWidth(), 640);
      EXPECT_EQ(camera->imageHeight(), 400);
      EXPECT_TRUE(camera->hasTrashThread());
      EXPECT_TRUE(camera->hasDangerousThread());
      EXPECT_FALSE(camera->hasAiThread());
      const Eigen::Vector4f origin(0.2F, n == 0 ? 0.F : -0.1F, 0.5F, 1.F);
      EXPECT_TRUE(camera->camToBaseMatrix().col(3).isApprox(origin));
      EXPECT_TRUE((camera->camToBaseMatrix().block<3, 3>(0, 0).isIdentity()));
      const Eigen::Vector4f inverse_origin(-0.2F, n == 0 ? 0.F : 0.1F, -0.5F, 1.F);
      EXPECT_TRUE(camera->baseToCamMatrix().col(3).isApprox(inverse_origin));
    }
    // One failed attempt each, one good one each.
    EXPECT_EQ(harness.cameraInfoAnswers(), 4);
  }

  EXPECT_TRUE(
    inOrder(
      texts, {
    "INFO cam_1 : fxParam=600, cxParam=320, fyParam=610, cyParam=240",
    "ERROR Transform frame_without_transform to base_footprint error of sensor data:",
    "ERROR Failed to lookup transform from frame_without_transform to base_footprint",
    "ERROR ErrorCode:100700001, camera param info initialize failed.",
    "INFO cam_1 : fxParam=600, cxParam=320, fyParam=610, cyParam=240",
    "DEBUG initialize subscriber start",
    "DEBUG initialize Subscriber end",
    "DEBUG initialize Publisher start",
    "DEBUG initialize Publisher end",
    "INFO cam_2 : fxParam=0, cxParam=0, fyParam=0, cyParam=0",
    "ERROR cam_2 camera info has no usable intrinsics",
    "ERROR ErrorCode:100700001, camera param info initialize failed.",
    "INFO cam_2 : fxParam=600, cxParam=320, fyParam=610, cyParam=240",
    "DEBUG initialize subscriber start",
    "DEBUG initialize Subscriber end",
    "DEBUG initialize Publisher start",
    "DEBUG initialize Publisher end"}));
  const auto failures = std::count(
    texts.begin(), texts.end(), "ERROR ErrorCode:100700001, camera param info initialize failed.");
  EXPECT_EQ(failures, 2);
}

TEST(StartUp, LinesCarryARunningThreeColumnNumber)
{
  testing::internal::CaptureStdout();
  {
    NodeHarness harness(baseParameters({rclcpp::Parameter("cameras", 1)}));
    harness.start(defaultFeeds(1));
  }
  const std::string output = testing::internal::GetCapturedStdout();
  std::istringstream lines(output);
  std::string line;
  int previous = -1;
  int numbered = 0;
  while (std::getline(lines, line)) {
    if (line.size() < 4 || line[4] != '[') {continue;}
    const int number = std::stoi(line.substr(0, 3));
    EXPECT_LT(number, 128) << line;
    if (previous >= 0) {
      EXPECT_EQ(number, (previous + 1) % 128) << line;
    }
    previous = number;
    ++numbered;
  }
  EXPECT_GT(numbered, 10);
}

TEST(StartUp, CloseFlagsAndCameraCount)
{
  struct Case
  {
    const char * name;
    std::vector<rclcpp::Parameter> parameters;
    std::vector<int> built;  // camera numbers built, 0 for an empty slot
    std::vector<bool> with_tracker;
  };
  const std::vector<Case> cases = {
    {"close_cam1", {rclcpp::Parameter("close_cam1", true)}, {0, 2}, {false, true}},
    {"trash_detection.close_cam2", {rclcpp::Parameter("trash_detection.close_cam2", true)},
      {1, 2}, {true, false}},
    {"cameras 0", {rclcpp::Parameter("cameras", 0)}, {}, {}},
  };
  for (const auto & c : cases) {
    SCOPED_TRACE(c.name);
    NodeHarness harness(baseParameters(c.parameters));
    harness.start(defaultFeeds());
    harness.spin();
    const auto node = harness.node();
    ASSERT_EQ(node->depthCameras().size(), c.built.size());
    for (std::size_t i = 0; i < c.built.size(); ++i) {
      const auto & camera = node->depthCameras()[i];
      if (c.built[i] == 0) {
        EXPECT_FALSE(camera);
        continue;
      }
      ASSERT_TRUE(camera);
      EXPECT_EQ(camera->cameraId(), c.built[i]);
      EXPECT_TRUE(camera->isActive());
      EXPECT_EQ(camera->hasTrashThread(), c.with_tracker[i]);
    }
    // The tracker and its publishers exist whatever the cameras do.
    EXPECT_TRUE(node->trashTracker());
    EXPECT_EQ(node->count_publishers("/detected_wastes"), 1U);
    EXPECT_EQ(node->count_publishers("/trash_marker"), 1U);
  }
}

TEST(StartUp, NodeParametersWithoutCameras)
{
  std::vector<rclcpp::Parameter> parameters = {
    rclcpp::Parameter("cameras", 12), rclcpp::Parameter("executors", -3),
    rclcpp::Parameter("tracker_config", "/work/x.yaml")};
  for (int i = 1; i <= 12; ++i) {
    parameters.emplace_back("close_cam" + std::to_string(i), true);
  }
  rclcpp::NodeOptions options;
  options.parameter_overrides(parameters);
  const auto node = std::make_shared<Base>(options);
  EXPECT_EQ(node->executorThreads(), 0U);  // the executor chooses
  ASSERT_EQ(node->cameraTopics().size(), 12U);
  EXPECT_EQ(node->cameraTopics()[11].depth, "/camera_012/depth/image_raw");
  EXPECT_EQ(node->cameraTopics()[11].camera_info, "/camera_012/depth/camera_info");
  EXPECT_EQ(node->closeCam(), std::vector<bool>(12, true));
  EXPECT_EQ(node->trashCloseCam(), std::vector<bool>(12, false));
  // The share prefix goes in front of every value, an absolute one included.
  const std::string tail = "/config//work/x.yaml";
  EXPECT_EQ(node->trackerConfig().substr(node->trackerConfig().size() - tail.size()), tail);

  // A second configure appends a second set of entries.
  node->cleanup();
  node->configure();
  EXPECT_EQ(node->cameraTopics().size(), 24U);
  EXPECT_EQ(node->closeCam().size(), 24U);
  EXPECT_EQ(node->trashCloseCam().size(), 24U);
}

TEST(StartUp, ParameterOfWrongTypeFailsWithItsName)
{
  rclcpp::NodeOptions options;
  options.parameter_overrides({rclcpp::Parameter("cameras", "two")});
  try {
    std::make_shared<Base>(options);
    FAIL() << "configure accepted a string for \"cameras\"";
  } catch (const std::runtime_error & error) {
    EXPECT_NE(std::string(error.what()).find("cameras"), std::string::npos) << error.what();
  }
}

TEST(StartUp, FailureAfterTheWorkersStartedStopsThemAndThrows)
{
  // The subscriptions come after the worker threads; a bad topic name fails
  // there, and the camera must not leave running threads behind.
  NodeHarness harness(
    baseParameters({rclcpp::Parameter("cameras", 1),
      rclcpp::Parameter("camera_1_camera_depth", "not a topic name!")}));
  EXPECT_THROW(harness.start(defaultFeeds(1)), std::exception);
  EXPECT_TRUE(harness.node()->depthCameras().empty());
}

// Start-up that never receives camera info, on a context of its own so that
// shutting it down leaves the rest of the program running.
class WaitingStartUp : public ::testing::Test
{
protected:
  void SetUp() override
  {
    context_ = std::make_shared<rclcpp::Context>();
    context_->init(0, nullptr);
  }

  std::shared_ptr<rclcpp::Context> context_;
};

TEST_F(WaitingStartUp, ShutdownEndsTheCameraInfoWait)
{
  NodeHarness harness(baseParameters({rclcpp::Parameter("cameras", 1)}), context_);
  auto started = std::async(std::launch::async, [&] {harness.start({});});
  ASSERT_TRUE(
    waitFor([&] {return harness.peer()->count_subscribers("/camera_01/depth/camera_info") > 0;}));
  context_->shutdown("test");
  ASSERT_EQ(started.wait_for(std::chrono::seconds(5)), std::future_status::ready);
  EXPECT_THROW(started.get(), StartUpInterrupted);
}

TEST_F(WaitingStartUp, EmptyCameraInfoTopicIsRetriedOncePerSecond)
{
  testing::internal::CaptureStdout();
  NodeHarness harness(
    baseParameters(
      {rclcpp::Parameter("cameras", 1), rclcpp::Parameter("camera_1_camera_info", "")}),
    context_);
  auto started = std::async(std::launch::async, [&] {harness.start({});});
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));
  context_->shutdown("test");
  ASSERT_EQ(started.wait_for(std::chrono::seconds(5)), std::future_status::ready);
  EXPECT_THROW(started.get(), StartUpInterrupted);
  const auto texts = logTexts(testing::internal::GetCapturedStdout());
  const auto failures = std::count(
    texts.begin(), texts.end(), "ERROR ErrorCode:100700001, camera param info initialize failed.");
  // A busy retry would have written thousands.
  EXPECT_GE(failures, 1);
  EXPECT_LE(failures, 3);
}

}  // namespace
}  // namespace node_test
