// The eighteen ground-removal keys per camera, their run-time changes and the
// calibrated camera height.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "config_test_support.hpp"
#include "quorvane_object_detect/camera_config.hpp"
#include "rclcpp/exceptions.hpp"

namespace
{

namespace config = quorvane::camera_config;
using config_test::captureLog;
using config_test::makeNode;
using P = rclcpp::Parameter;
using Params = pelorin::perception::GroundRemovalParams;

const auto * const kEnvironment =
  ::testing::AddGlobalTestEnvironment(new config_test::RclcppEnvironment);

std::vector<float> fields(const Params & p)
{
  return {p.segmentation_angular_resolution, p.point_cloud_max_range, p.point_cloud_min_range,
    p.segmentation_bin_len, p.cam_height, p.max_lsq_residual, p.min_slope, p.max_slope,
    p.max_height_diff_for_start_up, p.max_height_diff_for_start_down,
    p.max_dist_point_groundline, p.long_threshold, p.max_height_diff_for_front,
    p.x_distance_need_preprocess, p.z_distance_need_remove, p.max_obstacle_height,
    p.diluting_threshold, p.noise_nsigma};
}

TEST(ConfigGround, DefaultsAndTheirEchoLines)
{
  Params params;
  const auto lines = captureLog([&] {
        params = config::readGroundRemovalParams(*makeNode(), 1);
        config::echoGroundRemovalParams(1, params);
      });
  EXPECT_EQ(fields(params), (std::vector<float>{0.2F, 2.0F, 0.45F, 0.05F, 0.05F, 0.15F, 0.0F,
    0.2F, 0.05F, 0.13F, 0.045F, 0.2F, 0.04F, 1.0F, 0.05F, 0.666F, 0.03F, 4.0F}));
  const std::string head = "[INFO] cam_1_remove_ground_params_.";
  EXPECT_EQ(lines, (std::vector<std::string>{
    head + "segmentation_angular_resolution = 0.2000",
    head + "point_cloud_max_range = 2.0000",
    head + "point_cloud_min_range = 0.4500",
    head + "segmentation_bin_len = 0.0500",
    head + "cam_height = 0.0500",
    head + "max_lsq_residual = 0.1500",
    head + "min_slope  = 0.0000",
    head + "max_slope  = 0.2000",
    head + "max_height_diff_for_start_up  = 0.0500",
    head + "max_height_diff_for_start_down  = 0.1300",
    head + "max_dist_point_groundline  = 0.0450",
    head + "long_threshold  = 0.2000",
    head + "max_height_diff_for_front  = 0.0400",
    head + "x_distance_need_preprocess  = 1.0000",
    head + "z_distance_need_remove  = 0.0500",
    head + "max_obstacle_height  = 0.6660",
    head + "diluting_threshold  = 0.0300",
    head + "noise_nsigma  = 4.0000",
  }));
}

TEST(ConfigGround, StartUpKeysArePerCameraAndTheBinLengthHasItsOwnName)
{
  const auto node = makeNode({
    P("cam1.segmentation_bin_len", 0.2),     // the run-time name: not read at start-up
    P("cam1.point_cloud_max_range", 3.0),
    P("cam1.noise_nsigma", 3.0),
    P("cam2_.segmentation_bin_len", 0.1),
    P("cam2.cam_height", 0.3),
    P("cam12.max_slope", 0.4),
  });
  const auto cam1 = config::readGroundRemovalParams(*node, 1);
  EXPECT_FLOAT_EQ(cam1.segmentation_bin_len, 0.05F);
  EXPECT_FLOAT_EQ(cam1.point_cloud_max_range, 3.0F);
  EXPECT_FLOAT_EQ(cam1.noise_nsigma, 3.0F);
  EXPECT_FLOAT_EQ(cam1.cam_height, 0.05F);
  const auto cam2 = config::readGroundRemovalParams(*node, 2);
  EXPECT_FLOAT_EQ(cam2.segmentation_bin_len, 0.1F);
  EXPECT_FLOAT_EQ(cam2.cam_height, 0.3F);
  EXPECT_FLOAT_EQ(cam2.point_cloud_max_range, 2.0F);
  EXPECT_FLOAT_EQ(config::readGroundRemovalParams(*node, 12).max_slope, 0.4F);
  EXPECT_FLOAT_EQ(config::readGroundRemovalParams(*node, 1).max_slope, 0.2F);

  EXPECT_THROW(config::readGroundRemovalParams(*makeNode({P("cam1.cam_height", 1)}), 1),
    rclcpp::exceptions::InvalidParameterTypeException);
}

TEST(ConfigGround, RunTimeChanges)
{
  struct Case
  {
    const char * what;
    std::vector<P> batch;
    bool accepted;
    bool changed;
    float bin_len;
    float max_slope;
  };
  const std::vector<Case> cases{
    {"run-time name of the bin length", {P("cam1.segmentation_bin_len", 0.1)},
      true, true, 0.1F, 0.2F},
    {"the start-up name is not a run-time name", {P("cam1_.segmentation_bin_len", 0.1)},
      true, false, 0.05F, 0.2F},
    {"another camera's key", {P("cam2.max_slope", 0.3)}, true, false, 0.05F, 0.2F},
    {"a flat key is accepted and not applied", {P("debug", false)}, true, false, 0.05F, 0.2F},
    {"unknown and known names in one batch",
      {P("no_such_key", 1.0), P("cam1.max_slope", 0.3)}, true, true, 0.05F, 0.3F},
    {"an integer is taken as a number", {P("cam1.max_slope", 1)}, true, true, 0.05F, 1.0F},
    {"a value that is no number refuses the whole batch",
      {P("cam1.segmentation_bin_len", 0.1), P("cam1.max_slope", "steep")},
      false, false, 0.05F, 0.2F},
    {"values the ground fit cannot use refuse the whole batch",
      {P("cam1.max_slope", 0.3), P("cam1.segmentation_bin_len", -0.1)},
      false, false, 0.05F, 0.2F},
  };
  for (const auto & c : cases) {
    Params params;
    config::GroundUpdate update;
    const auto lines = captureLog([&] {update = config::applyGroundParameters(c.batch, 1, params);});
    EXPECT_EQ(update.accepted, c.accepted) << c.what;
    EXPECT_EQ(update.changed(), c.changed) << c.what;
    EXPECT_EQ(update.reason.empty(), c.accepted) << c.what;
    EXPECT_FLOAT_EQ(params.segmentation_bin_len, c.bin_len) << c.what;
    EXPECT_FLOAT_EQ(params.max_slope, c.max_slope) << c.what;
    ASSERT_EQ(lines.size(), c.batch.size()) << c.what << ": every name is logged";
    EXPECT_EQ(lines.back(), "[INFO] dynamicParametersCallback update param named " +
      c.batch.back().get_name()) << c.what;
  }
}

TEST(ConfigGround, CalibratedCameraHeight)
{
  config_test::TempDir dir;
  const auto file = dir.write("ground.yaml",
      "camera_01: {cam_height: 0.12}\ncamera_012: {cam_height: .inf}\n"
      "camera_03: {cam_height: low}\ncamera_04: 0.1\n");
  EXPECT_FLOAT_EQ(config::readCalibratedCamHeight(file, 1), 0.12F);
  EXPECT_TRUE(std::isinf(config::readCalibratedCamHeight(file, 12)));

  struct Failure {const char * what; std::string path; int camera; std::string names;};
  const auto broken = dir.write("broken.yaml", "camera_01: {cam_height: [0.1\n");
  const std::vector<Failure> failures{
    {"section missing", file, 2, "key \"camera_02\" is missing"},
    {"not a number", file, 3, "key \"camera_03.cam_height\": \"low\" is not a number"},
    {"section is a value", file, 4, "key \"camera_04\" is not a mapping"},
    {"broken file", broken, 1, "cannot be loaded"},
    {"no file", dir.path().string() + "/none.yaml", 1, "cannot be loaded"},
  };
  for (const auto & f : failures) {
    try {
      config::readCalibratedCamHeight(f.path, f.camera);
      ADD_FAILURE() << f.what << ": no error";
    } catch (const config::ConfigFileError & e) {
      const std::string text = e.what();
      EXPECT_EQ(text.rfind("ground height file \"" + f.path + "\": ", 0), 0u) << text;
      EXPECT_NE(text.find(f.names), std::string::npos) << f.what << ": " << text;
    }
  }
}

}  // namespace
