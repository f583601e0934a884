// The per-camera publisher set: topic names, message types and counts.
#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "node_harness.hpp"
#include "quorvane_protocol/msg/exception_handle.hpp"
#include "quorvane_protocol/msg/object_list.hpp"
#include "quorvane_protocol/msg/robot_event.hpp"
#include "quorvane_protocol/msg/semantic_point_cloud.hpp"
#include "quorvane_protocol/msg/trashes.hpp"
#include "sensor_msgs/msg/point_cloud2.hpp"
#include "std_msgs/msg/bool.hpp"
#include "visualization_msgs/msg/marker_array.hpp"

namespace node_test
{
namespace
{

// A topic the camera publishes on and a probe that subscribes to it with the
// expected type (the bus refuses a second type on a topic).
struct Expected
{
  std::string topic;
  std::function<rclcpp::SubscriptionBase::SharedPtr(rclcpp::Node &, const std::string &)> probe;
};

template<typename MessageT>
Expected of(const std::string & topic)
{
  return {topic, [](rclcpp::Node & node, const std::string & name) {
      return node.create_subscription<MessageT>(
        name, rclcpp::QoS(1), [](std::shared_ptr<const MessageT>) {});
    }};
}

std::vector<Expected> expectedPublishers(int camera)
{
  using sensor_msgs::msg::Image;
  using sensor_msgs::msg::PointCloud2;
  using quorvane_protocol::msg::ObjectList;
  using quorvane_protocol::msg::SemanticPointCloud;
  const std::string p = "/cam" + std::to_string(camera) + "_";
  std::vector<Expected> table = {
    of<std_msgs::msg::Bool>(p + "data_status"),
    of<PointCloud2>(p + "base_cloud"),
    of<PointCloud2>(p + "obstacle_cloud"),
    of<PointCloud2>(p + "ground_cloud"),
    of<PointCloud2>(p + "cluster_cloud"),
    of<Image>(p + "detect_bbox_image"),
    of<Image>(p + "cloud_bbox_image"),
    of<PointCloud2>(p + "detect_bbox_cloud"),
    of<PointCloud2>(p + "class_cloud_info"),
    of<PointCloud2>(p + "no_remove_ground_cloud_info"),
    of<PointCloud2>(p + "ori_static_obstacle_cloud"),
    of<PointCloud2>(p + "ori_dynamic_obstacle_cloud"),
    of<PointCloud2>(p + "ori_stain_cloud"),
    of<SemanticPointCloud>(p + "static_obstacle_cloud"),
    of<SemanticPointCloud>(p + "dynamic_obstacle_cloud"),
    of<SemanticPointCloud>(p + "stain_cloud"),
    of<ObjectList>(p + "people_info"),
    of<quorvane_protocol::msg::Trashes>(p + "web_trash"),
    of<quorvane_protocol::msg::RobotEvent>("/robot_event"),
    of<ObjectList>("/objects_rgbd_" + std::to_string(camera)),
    of<PointCloud2>(p + "dangerous_ori_region_cloud"),
    of<PointCloud2>(p + "lethal_region_cloud"),
    of<PointCloud2>(p + "dangerous_region_cloud"),
    of<SemanticPointCloud>(p + "lethal_region_sem_cloud"),
    of<SemanticPointCloud>(p + "dangerous_region_sem_cloud"),
    of<Image>(p + "dangerous_region_map_image_topic"),
    of<Image>(p + "dangerous_region_map_dilate_image_topic"),
    of<Image>(p + "lethal_region_map_dilate_image_topic"),
    of<quorvane_protocol::msg::ExceptionHandle>("/exception_handle"),
    of<visualization_msgs::msg::MarkerArray>(p + "ground_line"),
    of<PointCloud2>(p + "outlier_points"),
    of<Image>(p + "dangerous_region_erode_image_topic"),
    of<PointCloud2>(p + "dangerous_region_odom_cloud"),
    of<PointCloud2>(p + "dangerous_region_base_cloud"),
  };
  if (camera == 2) {
    table.push_back(of<ObjectList>("/objects_rgb"));
  }
  return table;
}

TEST(Publishers, EachCameraHasItsSetWithNamesAndTypes)
{
  NodeHarness harness(baseParameters());
  harness.start(defaultFeeds());
  const auto node = harness.node();
  const std::vector<std::string> shared = {"/robot_event", "/exception_handle"};

  for (int camera = 1; camera <= 2; ++camera) {
    SCOPED_TRACE("camera " + std::to_string(camera));
    const auto table = expectedPublishers(camera);
    EXPECT_EQ(table.size(), camera == 2 ? 35U : 34U);
    for (const auto & expected : table) {
      const bool is_shared =
        std::find(shared.begin(), shared.end(), expected.topic) != shared.end();
      // The shared topics carry one publisher per camera.
      EXPECT_EQ(node->count_publishers(expected.topic), is_shared ? 2U : 1U) << expected.topic;
      EXPECT_NO_THROW(expected.probe(*harness.peer(), expected.topic)) << expected.topic;
    }
  }
  EXPECT_EQ(node->count_publishers("/objects_rgb"), 1U);  // camera 2's only
  EXPECT_EQ(node->count_publishers("/cam1_robot_event"), 0U);
  EXPECT_EQ(node->count_publishers("/cam2_fsm_status"), 0U);
}

}  // namespace
}  // namespace node_test
