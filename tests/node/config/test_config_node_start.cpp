// The configuration of real cameras: the node started with the shipped
// parameters file, the ground-height file, unusable files, run-time changes.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "config_test_support.hpp"
#include "node_harness.hpp"
#include "quorvane_object_detect/camera_config.hpp"
#include "quorvane_object_detect/depth_camera.hpp"
#include "rclcpp/detail/arguments.hpp"

namespace node_test
{
namespace
{

const std::string kSourceConfig = std::string(QUORVANE_SOURCE_DIR) + "/config/";

// The shipped parameters file as the node would read it, with the model meta
// file of the build folder when the demo network was generated.
std::vector<rclcpp::Parameter> shippedParameters(std::vector<std::string> extra_rules = {})
{
  std::vector<std::string> args{"object_detect", "--ros-args", "--params-file",
    kSourceConfig + "object_detect.yaml"};
  const std::string demo_meta = std::string(QUORVANE_BINARY_DIR) +
    "/config/colour_patch_seg_meta.yaml";
  const std::string demo_model = std::string(QUORVANE_BINARY_DIR) + "/models/colour_patch_seg.onnx";
  const bool demo = std::filesystem::exists(demo_meta) && std::filesystem::exists(demo_model);
  args.insert(args.end(), {"-p", "model_meta_file:=" + (demo ? demo_meta :
    baseParameters().front().as_string())});
  for (const auto & rule : extra_rules) {
    args.insert(args.end(), {"-p", rule});
  }
  std::vector<rclcpp::Parameter> parameters;
  for (const auto & [name, value] :
    rclcpp::detail::parse_arguments(args).parameter_overrides_for("/object_detect"))
  {
    parameters.emplace_back(name, value);
  }
  return parameters;
}

// Logged texts without their level: "cam_1_debug = 1".
std::vector<std::string> withoutLevel(const std::string & output)
{
  auto texts = logTexts(output);
  for (auto & text : texts) {
    text.erase(0, text.find(' ') + 1);
  }
  return texts;
}

std::vector<std::string> startAndCapture(NodeHarness & harness)
{
  testing::internal::CaptureStdout();
  try {
    harness.start(defaultFeeds());
  } catch (...) {
    testing::internal::GetCapturedStdout();
    throw;
  }
  return withoutLevel(testing::internal::GetCapturedStdout());
}

// The lines of `texts` from the first one starting with `first`, `count` of them.
std::vector<std::string> block(
  const std::vector<std::string> & texts, const std::string & first, size_t count)
{
  const auto start = std::find_if(texts.begin(), texts.end(),
      [&](const std::string & t) {return t.rfind(first, 0) == 0;});
  if (static_cast<size_t>(texts.end() - start) < count) {
    return {};
  }
  return {start, start + static_cast<std::ptrdiff_t>(count)};
}

bool contains(const std::vector<std::string> & texts, const std::string & line)
{
  return std::find(texts.begin(), texts.end(), line) != texts.end();
}

TEST(ConfigNodeStart, ShippedParametersFileStartsTwoCamerasAndEchoesThem)
{
  NodeHarness harness(shippedParameters());
  const auto texts = startAndCapture(harness);
  ASSERT_EQ(harness.node()->depthCameras().size(), 2u);
  const std::string share = std::string(QUORVANE_AMENT_PREFIX) +
    "/share/quorvane_object_detect/config/";
  for (const std::string n : {"1", "2"}) {
    SCOPED_TRACE("camera " + n);
    const auto echo = block(texts, "cam_" + n + "_debug = ", 42);
    ASSERT_EQ(echo.size(), 42u);
    EXPECT_EQ(echo[0], "cam_" + n + "_debug = 1");
    EXPECT_EQ(echo[2], "cam_" + n + "_cam_base = 0.0000");
    EXPECT_EQ(echo[6], "cam_" + n + "_depth_rgb_wait_time = 50");
    EXPECT_EQ(echo[19], "cam_" + n + "_dangerous_use_two_camera = 1");
    // The construction value: the ground step sets the maximum depth later.
    EXPECT_EQ(echo[33], "cam_" + n + "_depth_max = 0.4500");
    EXPECT_EQ(echo[41], "cam_" + n + "_static_class_type = [BASE,ESCALATOR_ENTRANCE,WAITING_BENCH,]");
    EXPECT_EQ(block(texts, "cam_" + n + "_remove_ground_params_.", 18).back(),
      "cam_" + n + "_remove_ground_params_.noise_nsigma  = 4.0000");
    EXPECT_TRUE(contains(texts, "cam_" + n + ":cluster_file = " + share +
      "point_cloud_cluster.yaml"));
    EXPECT_TRUE(contains(texts, "cam_" + n + "_grid_step = 0.0500"));
    EXPECT_TRUE(contains(texts, "cam_" + n + " ai_conf_.parser label 0, type PERSON, thresh 0.5000."));
  }
  // No calibration file in the working directory: the default height stays.
  EXPECT_TRUE(contains(texts,
    "ground_height_file: ground_height_file not exist, use default from remove_ground.yaml"));
}

TEST(ConfigNodeStart, CalibratedHeightsPerCamera)
{
  config_test::TempDir dir;
  const auto file =
    dir.write("ground.yaml", "camera_01: {cam_height: 0.12}\ncamera_02: {cam_height: 0.2}\n");
  NodeHarness harness(shippedParameters({"ground_height_file:=" + file}));
  const auto texts = startAndCapture(harness);
  EXPECT_TRUE(contains(texts, "cam_1:ground_height_file = " + file));
  EXPECT_TRUE(contains(texts, "cam_1_calibration_ground_params_.cam_height = 0.1200"));
  EXPECT_TRUE(contains(texts, "cam_2_calibration_ground_params_.cam_height = 0.2000"));
}

TEST(ConfigNodeStart, UnusableFilesStopStartUpNamingFileAndKey)
{
  config_test::TempDir dir;
  // No section for camera 2.
  const auto broken = dir.write("ground.yaml", "camera_01: {cam_height: 0.12}\n");
  struct Case {const char * what; std::vector<std::string> rules; std::string text;};
  const std::vector<Case> cases{
    {"ground height file without the camera's section",
      {"ground_height_file:=" + broken},
      "ground height file \"" + broken + "\": key \"camera_02\" is missing"},
    {"model meta file missing", {"model_meta_file:=/nonexistent/meta.yaml"},
      "model meta file \"/nonexistent/meta.yaml\": cannot be loaded: "},
    {"cluster file missing", {"cluster_file:=none.yaml"}, "cluster file \""},
    {"a voxel leaf of no size", {"cloud_y_leafSize:=0.0"}, "parameters \"cloud_x_leafSize\""},
  };
  for (const auto & c : cases) {
    NodeHarness harness(shippedParameters(c.rules));
    try {
      startAndCapture(harness);
      ADD_FAILURE() << c.what << ": started";
    } catch (const quorvane::camera_config::ConfigFileError & e) {
      EXPECT_EQ(std::string(e.what()).rfind(c.text, 0), 0u) << c.what << ": " << e.what();
    }
  }
}

TEST(ConfigNodeStart, RunTimeGroundKeysFlagTheGroundFitRebuild)
{
  // Only keys given at start-up are declared; they hold the coded defaults.
  const pelorin::perception::GroundRemovalParams defaults;
  NodeHarness harness(baseParameters({rclcpp::Parameter("cameras", 1),
    rclcpp::Parameter("cam1.cam_height", static_cast<double>(defaults.cam_height)),
    rclcpp::Parameter("cam1.max_slope", static_cast<double>(defaults.max_slope)),
    rclcpp::Parameter("cam2.cam_height", static_cast<double>(defaults.cam_height))}));
  harness.start(defaultFeeds(1));
  const DepthCamera & camera = *harness.node()->depthCameras().at(0);
  struct Case {const char * what; std::vector<rclcpp::Parameter> batch; bool accepted, pending;};
  // In this order: nothing clears the flag before a depth frame rebuilds the fit.
  const std::vector<Case> cases{
    {"a batch with a ground key that is no number",
      {rclcpp::Parameter("cam1.cam_height", 0.1), rclcpp::Parameter("cam1.max_slope", "steep")},
      false, false},
    {"a key of camera 2", {rclcpp::Parameter("cam2.cam_height", 0.1)}, true, false},
    {"a ground key of camera 1", {rclcpp::Parameter("cam1.cam_height", 0.1)}, true, true},
  };
  for (const auto & c : cases) {
    EXPECT_EQ(harness.node()->set_parameters_atomically(c.batch).successful, c.accepted) << c.what;
    EXPECT_EQ(camera.groundFitUpdatePending(), c.pending) << c.what;
  }
}

}  // namespace
}  // namespace node_test
