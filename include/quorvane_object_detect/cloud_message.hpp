#pragma once

#include <string>

#include <pcl/point_cloud.h>

#include "builtin_interfaces/msg/time.hpp"
#include "pcl_conversions/pcl_conversions.h"
#include "quorvane_object_detect/common.hpp"
#include "sensor_msgs/msg/point_cloud2.hpp"

// A cloud as a message in `frame` (the robot base by default) at `stamp`.
template<typename PointT>
sensor_msgs::msg::PointCloud2 toCloudMessage(
  const pcl::PointCloud<PointT> & cloud, const builtin_interfaces::msg::Time & stamp,
  const std::string & frame = kBaseFrame)
{
  sensor_msgs::msg::PointCloud2 message;
  pcl::toROSMsg(cloud, message);
  message.header.frame_id = frame;
  message.header.stamp = stamp;
  return message;
}
