#pragma once

#include "sensor_msgs/msg/point_cloud2.hpp"

namespace pcl_conversions
{
namespace detail
{

/// Throws pcl::InvalidConversionException, saying what is wrong, unless the
/// cloud's size fields agree with its data: every field fits in point_step,
/// width * point_step fits in row_step and data holds exactly
/// row_step * height bytes (all in 64 bits).  Readers that walk
/// width x height points of point_step bytes then stay inside `data`.
void checkPointCloud2(const sensor_msgs::msg::PointCloud2 & cloud);

}  // namespace detail
}  // namespace pcl_conversions
