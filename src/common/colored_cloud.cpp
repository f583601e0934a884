#include "quorvane_object_detect/colored_cloud.hpp"

#include <cstdint>
#include <cstdlib>
#include <memory>

#include <pcl/point_cloud.h>
#include <pcl/point_types.h>

#include "pelorin/perception/time_conversions.hpp"
#include "quorvane_object_detect/cloud_message.hpp"
#include "quorvane_object_detect/common.hpp"

namespace
{

// Class values are never negative, but a stray one must not read before the
// palette: it takes the row of its magnitude.
const std::vector<int> & paletteRow(int32_t label)
{
  return kColorPalette20[static_cast<std::size_t>(std::abs(label % 20))];
}

}  // namespace

void publishColoredCloud(
  const std::vector<CloudInfo> & records,
  const rclcpp::Publisher<sensor_msgs::msg::PointCloud2>::SharedPtr & publisher, double time)
{
  if (!publisher) {
    return;
  }
  std::size_t total = 0;
  for (const CloudInfo & record : records) {
    total += record.cloud.size();
  }
  pcl::PointCloud<pcl::PointXYZRGB> coloured;
  coloured.points.reserve(total);
  for (const CloudInfo & record : records) {
    const std::vector<int> & c = paletteRow(record.label);
    const auto r = static_cast<uint8_t>(c[0]);
    const auto g = static_cast<uint8_t>(c[1]);
    const auto b = static_cast<uint8_t>(c[2]);
    for (const pcl::PointXYZ & p : record.cloud.points) {
      coloured.points.emplace_back(p.x, p.y, p.z, r, g, b);  // alpha 255
    }
  }
  // One row, also when there is no point at all.
  coloured.width = static_cast<uint32_t>(coloured.points.size());
  coloured.height = 1;
  publisher->publish(
    std::make_unique<sensor_msgs::msg::PointCloud2>(toCloudMessage(coloured, DoubleToStamp(time))));
}
