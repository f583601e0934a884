#pragma once

#include <vector>

#include "quorvane_object_detect/cloud.hpp"
#include "rclcpp/rclcpp.hpp"
#include "sensor_msgs/msg/point_cloud2.hpp"

// Every record's points in the palette colour of its class, as one cloud in
// the base frame at `time`; nothing without a publisher.
void publishColoredCloud(
  const std::vector<CloudInfo> & records,
  const rclcpp::Publisher<sensor_msgs::msg::PointCloud2>::SharedPtr & publisher, double time);
