#pragma once

#include <vector>

#include <memory>

#include "quorvane_object_detect/cloud.hpp"
#include "quorvane_protocol/msg/semantic_point_cloud.hpp"
#include "rclcpp/rclcpp.hpp"
#include "sensor_msgs/msg/point_cloud2.hpp"

// Every record's points in the palette colour of its class, as one cloud in
// the base frame at `time`; nothing without a publisher.
void publishColoredCloud(
  const std::vector<CloudInfo> & records,
  const rclcpp::Publisher<sensor_msgs::msg::PointCloud2>::SharedPtr & publisher, double time);

// The semantic cloud of `records` as camera `camera_id` sends it: one item
// per record, and the camera's outline when `frame` holds a complete one.
quorvane_protocol::msg::SemanticPointCloud semanticPointCloud(
  const std::vector<CloudInfo> & records, int camera_id, bool trace,
  const std::shared_ptr<CameraFrame> & frame, double time);
