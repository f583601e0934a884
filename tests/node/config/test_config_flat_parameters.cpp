// The flat camera keys: defaults, the start-up echo character for character,
// class lists and type errors.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "config_test_support.hpp"
#include "quorvane_object_detect/camera_config.hpp"
#include "rclcpp/exceptions.hpp"
#include "semantic.pb.h"

namespace
{

namespace config = quorvane::camera_config;
using config_test::captureLog;
using config_test::makeNode;
using P = rclcpp::Parameter;

const auto * const kEnvironment =
  ::testing::AddGlobalTestEnvironment(new config_test::RclcppEnvironment);

std::vector<std::string> echo(int camera_id, const config::FlatParameters & p)
{
  return captureLog([&] {config::echoFlatParameters(camera_id, p, 0.0F, true, 0.45F);});
}

TEST(ConfigFlatParameters, DefaultsAndTheirEchoLines)
{
  const auto p = config::readFlatParameters(*makeNode());
  const std::vector<std::string> expected{
    "[INFO] cam_1_debug = 1",
    "[INFO] cam_1_use_ai_thread = 0",
    "[INFO] cam_1_cam_base = 0.0000",
    "[INFO] cam_1_remove_ground_method = 0",
    "[INFO] cam_1_box_enlarge_size = 3",
    "[INFO] cam_1_depth_rgb_time_diff = 0.0800",
    "[INFO] cam_1_depth_rgb_wait_time = 50",
    "[INFO] cam_1_rgb_buffer_size = 15",
    "[INFO] cam_1_statistics_dangerous_region_detect_status_num = 20",
    "[INFO] cam_1_dangerous_region_erode_kernel_size = 1",
    "[INFO] cam_1_dangerous_dilate_offset = 0.1000",
    "[INFO] cam_1_lethal_dilate_offset = 0.1000",
    "[INFO] cam_1_dangerous_sample_kernel_size = 2",
    "[INFO] cam_1_gridWidth = 100",
    "[INFO] cam_1_gridHeight = 0",
    "[INFO] cam_1_gridResolution = 0.0500",
    "[INFO] cam_1_kernel_size = 5",
    "[INFO] cam_1_lethal_iter = 1",
    "[INFO] cam_1_dangerous_iter = 1",
    "[INFO] cam_1_dangerous_use_two_camera = 1",
    "[INFO] cam_1_dangerous_class_id = [ESCALATOR_ENTRANCE,]",
    "[INFO] cam_1_cloud_x_leafSize = 0.0250",
    "[INFO] cam_1_cloud_y_leafSize = 0.0250",
    "[INFO] cam_1_cloud_z_leafSize = 0.0250",
    "[INFO] cam_1_cloud_min_point = 5",
    "[INFO] cam_1_cloud_search_radius = 0.0100",
    "[INFO] cam_1_cloud_point_num = 10",
    "[INFO] cam_1_cloud_x_split_distance = 0.6000",
    "[INFO] cam_1_cloud_xyz_merge_distance = 0.3000",
    "[INFO] cam_1_cloud_x_merge_distance = 0.3000",
    "[INFO] cam_1_cloud_mask_iou_min = 0.5000",
    "[INFO] cam_1_cloud_mask_iou_max = 0.5000",
    "[INFO] cam_1_person_distance = 2.0000",
    "[INFO] cam_1_depth_max = 0.4500",
    "[INFO] cam_1_obstacle_percent = 0.2000",
    "[INFO] cam_1_person_percent = 0.5000",
    "[INFO] cam_1_trash_distance_threshold = 1.5000",
    "[INFO] cam_1_robot_angular_threshold = 0.5000",
    "[INFO] cam_1_bbox_edge_threshold = 5",
    "[INFO] cam_1_trash_class_id = []",
    "[INFO] cam_1_dynamic_class_type = [PERSON,]",
    "[INFO] cam_1_static_class_type = [BASE,ESCALATOR_ENTRANCE,WAITING_BENCH,]",
  };
  ASSERT_EQ(expected.size(), 42u);
  EXPECT_EQ(echo(1, p), expected);

  // The keys without an echo line.
  EXPECT_FALSE(p.data_flow_trace);
  EXPECT_FALSE(p.close_ai_detect);
  EXPECT_FLOAT_EQ(p.cloud.cloud_y_merge_distance, 0.3F);
  EXPECT_EQ(p.sample_kernel_size, 2);
  EXPECT_EQ(p.no_remove_ground_class_type, (std::set<int>{semantic::BASE, semantic::BLOOD,
    semantic::CARPET, semantic::MASK, semantic::BOTTLE, semantic::PAPER_CUP}));
  EXPECT_EQ(p.groud_stain_class_type, (std::set<int>{semantic::COFFEE, semantic::MILK}));
}

TEST(ConfigFlatParameters, GivenValuesReachTheEcho)
{
  const auto node = makeNode({
    P("debug", false),
    P("depth_rgb_wait_time_ms", 75),
    P("depth_rgb_time_diff", 0.125),
    P("mask_iou_min", 0.35),
    P("trash_detection.bbox_edge_threshold", 9),
    P("cloud_y_merge_distance", 0.45),
    P("trash_detection.trash_class_type", std::vector<std::string>{"paper_cup", "Bottle"}),
  });
  const auto p = config::readFlatParameters(*node);
  EXPECT_FLOAT_EQ(p.cloud.cloud_y_merge_distance, 0.45F);
  const auto lines = echo(12, p);
  ASSERT_EQ(lines.size(), 42u);
  EXPECT_EQ(lines[0], "[INFO] cam_12_debug = 0");
  EXPECT_EQ(lines[5], "[INFO] cam_12_depth_rgb_time_diff = 0.1250");
  EXPECT_EQ(lines[6], "[INFO] cam_12_depth_rgb_wait_time = 75");
  EXPECT_EQ(lines[30], "[INFO] cam_12_cloud_mask_iou_min = 0.3500");
  EXPECT_EQ(lines[38], "[INFO] cam_12_bbox_edge_threshold = 9");
  EXPECT_EQ(lines[39], "[INFO] cam_12_trash_class_id = [BOTTLE,PAPER_CUP,]");
}

TEST(ConfigFlatParameters, ClassListsTakeAnyCaseAndDropUnknownNames)
{
  const auto node = makeNode({
    P("dangerous_class_type",
      std::vector<std::string>{"escalator_entrance", "Escalator_Entrance", "escalator"}),
    P("static_obstacle_class_type", std::vector<std::string>{"chair", "table"}),
    P("dynamic_obstacle_class_type", std::vector<std::string>{"PERSON", "300", "person"}),
    P("groud_stain_class_type", std::vector<std::string>{"milk"}),
  });
  const auto p = config::readFlatParameters(*node);
  EXPECT_EQ(p.dangerous_class_type, std::set<int>{semantic::ESCALATOR_ENTRANCE});
  EXPECT_TRUE(p.static_obstacle_class_type.empty());
  EXPECT_EQ(p.dynamic_obstacle_class_type, std::set<int>{semantic::PERSON});
  EXPECT_EQ(p.groud_stain_class_type, std::set<int>{semantic::MILK});
  const auto lines = echo(1, p);
  ASSERT_EQ(lines.size(), 42u);
  EXPECT_EQ(lines[20], "[INFO] cam_1_dangerous_class_id = [ESCALATOR_ENTRANCE,]");
  EXPECT_EQ(lines[41], "[INFO] cam_1_static_class_type = []");
}

TEST(ConfigFlatParameters, AValueOfAnotherTypeRaises)
{
  const std::vector<rclcpp::Parameter> wrong{
    P("depth_rgb_time_diff", 1),         // an integer is no double
    P("rgb_buffer_size", 15.0),
    P("debug", "true"),
    P("dangerous_class_type", std::vector<int64_t>{102}),
    P("trash_detection.trash_distance_threshold", true),
  };
  for (const auto & parameter : wrong) {
    const auto node = makeNode({parameter});
    EXPECT_THROW(config::readFlatParameters(*node), rclcpp::exceptions::InvalidParameterTypeException)
      << parameter.get_name();
  }
}

}  // namespace
