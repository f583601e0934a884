#include "pcl_conversions/detail/point_cloud2_check.hpp"

#include <cstdint>
#include <limits>
#include <stdexcept>
#include <string>

#include <pcl/exceptions.h>

#include "sensor_msgs/msg/point_field.hpp"
#include "sensor_msgs/point_cloud2_iterator.hpp"

namespace pcl_conversions
{
namespace detail
{
namespace
{

[[noreturn]] void reject(const std::string & why)
{
  throw pcl::InvalidConversionException("malformed PointCloud2, " + why, nullptr, "pcl_conversions");
}

}  // namespace

void checkPointCloud2(const sensor_msgs::msg::PointCloud2 & cloud)
{
  const uint64_t points = uint64_t{cloud.width} * cloud.height;
  if (points > std::numeric_limits<uint32_t>::max()) {
    reject(
      "width " + std::to_string(cloud.width) + " x height " + std::to_string(cloud.height) +
      " points exceed 32 bits");
  }
  const uint64_t expected = uint64_t{cloud.row_step} * cloud.height;
  if (cloud.data.size() != expected) {
    reject(
      "data holds " + std::to_string(cloud.data.size()) + " bytes, row_step " +
      std::to_string(cloud.row_step) + " x height " + std::to_string(cloud.height) + " = " +
      std::to_string(expected));
  }
  if (points == 0) {
    return;
  }
  if (uint64_t{cloud.width} * cloud.point_step > cloud.row_step) {
    reject(
      "row_step " + std::to_string(cloud.row_step) + " is less than width " +
      std::to_string(cloud.width) + " x point_step " + std::to_string(cloud.point_step));
  }
  for (const auto & field : cloud.fields) {
    uint64_t bytes = 0;
    try {
      bytes = static_cast<uint64_t>(sensor_msgs::sizeOfPointField(field.datatype));
    } catch (const std::runtime_error &) {
      reject("field " + field.name + " has unknown datatype " + std::to_string(field.datatype));
    }
    const uint64_t count = field.count == 0 ? 1 : field.count;
    if (uint64_t{field.offset} + count * bytes > cloud.point_step) {
      reject(
        "field " + field.name + " at offset " + std::to_string(field.offset) +
        " does not fit in point_step " + std::to_string(cloud.point_step));
    }
  }
}

}  // namespace detail
}  // namespace pcl_conversions
