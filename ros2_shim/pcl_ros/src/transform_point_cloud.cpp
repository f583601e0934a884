#include <cmath>
#include <cstring>
#include <stdexcept>

#include "pcl_conversions/pcl_conversions.h"
#include "pcl_ros/transforms.hpp"
#include "rclcpp/logging.hpp"

namespace pcl_ros
{
namespace
{

// Offset of a float field, or -1 when the cloud lacks it or stores it otherwise.
long floatFieldOffset(const sensor_msgs::msg::PointCloud2 & cloud, const char * name)
{
  const int index = pcl::getFieldIndex(cloud, name);
  if (index < 0 || cloud.fields[index].datatype != sensor_msgs::msg::PointField::FLOAT32) {
    return -1;
  }
  return static_cast<long>(cloud.fields[index].offset);
}

}  // namespace

void transformPointCloud(
  const Eigen::Matrix4f & transform,
  const sensor_msgs::msg::PointCloud2 & in,
  sensor_msgs::msg::PointCloud2 & out)
{
  const long offsets[3] = {
    floatFieldOffset(in, "x"), floatFieldOffset(in, "y"), floatFieldOffset(in, "z")};
  if (offsets[0] < 0 || offsets[1] < 0 || offsets[2] < 0) {
    RCLCPP_ERROR(
      rclcpp::get_logger("pcl_ros"),
      "Input dataset has no float X-Y-Z coordinates; cloud not transformed");
    return;
  }
  try {
    pcl_conversions::detail::checkPointCloud2(in);
  } catch (const std::exception & error) {
    RCLCPP_ERROR(
      rclcpp::get_logger("pcl_ros"), "%s; cloud not transformed", error.what());
    return;
  }

  if (&in != &out) {
    out = in;
  }
  for (uint32_t row = 0; row < out.height; ++row) {
    for (uint32_t col = 0; col < out.width; ++col) {
      uint8_t * point = out.data.data() + size_t{row} * out.row_step + size_t{col} * out.point_step;
      Eigen::Vector4f p(0.f, 0.f, 0.f, 1.f);
      for (int axis = 0; axis < 3; ++axis) {
        std::memcpy(&p[axis], point + offsets[axis], sizeof(float));
      }
      if (!p.head<3>().allFinite()) {
        continue;
      }
      const Eigen::Vector4f moved = transform * p;
      for (int axis = 0; axis < 3; ++axis) {
        std::memcpy(point + offsets[axis], &moved[axis], sizeof(float));
      }
    }
  }
}

}  // namespace pcl_ros
