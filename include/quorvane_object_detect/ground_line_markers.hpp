#pragma once

#include <vector>

#include <pcl/point_cloud.h>
#include <pcl/point_types.h>

#include "rclcpp/rclcpp.hpp"
#include "visualization_msgs/msg/marker_array.hpp"

// One red line strip per ground line of two or more points, from its first to
// its last point, numbered from 0; each stamped with `clock` as it is made.
visualization_msgs::msg::MarkerArray groundLineMarkers(
  const std::vector<pcl::PointCloud<pcl::PointXYZ>> & lines, rclcpp::Clock & clock);
