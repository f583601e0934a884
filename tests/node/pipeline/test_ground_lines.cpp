// Ground-line markers: one red line strip per line of two or more points,
// numbered without gaps, its ends kept exactly.
#include <vector>

#include <gtest/gtest.h>

#include "quorvane_object_detect/ground_line_markers.hpp"

namespace
{

pcl::PointCloud<pcl::PointXYZ> line(int points, float offset)
{
  pcl::PointCloud<pcl::PointXYZ> cloud;
  for (int i = 0; i < points; ++i) {
    // Values a double cannot reach from a decimal literal: only a widening keeps them.
    cloud.push_back(pcl::PointXYZ(0.1F * i + offset, -1.0F / 3.0F - offset, 0.7F * offset));
  }
  return cloud;
}

TEST(GroundLineMarkers, OneStripPerLineOfTwoOrMorePointsNumberedWithoutGaps)
{
  rclcpp::Clock clock(RCL_SYSTEM_TIME);
  const std::vector<pcl::PointCloud<pcl::PointXYZ>> lines{
    line(5, 0.3F), line(1, 0.5F), line(3, 0.7F), line(0, 0.9F)};
  const auto markers = groundLineMarkers(lines, clock);

  ASSERT_EQ(markers.markers.size(), 2U);
  for (std::size_t m = 0; m < 2; ++m) {
    const auto & marker = markers.markers[m];
    const auto & source = lines[2 * m];  // the first and the third line
    EXPECT_EQ(marker.id, static_cast<int32_t>(m));
    EXPECT_EQ(marker.header.frame_id, "base_footprint");
    EXPECT_GT(marker.header.stamp.sec, 0) << "system time";
    EXPECT_EQ(marker.ns, "lines");
    EXPECT_EQ(marker.type, visualization_msgs::msg::Marker::LINE_STRIP);
    EXPECT_EQ(marker.action, visualization_msgs::msg::Marker::ADD);
    EXPECT_EQ(marker.pose.orientation.w, 1.0);
    EXPECT_EQ(marker.scale.x, 0.01);
    EXPECT_EQ(marker.scale.y, 0.0);
    EXPECT_EQ(marker.color.r, 1.0F);
    EXPECT_EQ(marker.color.g, 0.0F);
    EXPECT_EQ(marker.color.a, 1.0F);
    ASSERT_EQ(marker.points.size(), 2U);
    for (const auto & [point, end] : {std::pair{marker.points[0], source.front()},
        std::pair{marker.points[1], source.back()}})
    {
      EXPECT_EQ(point.x, static_cast<double>(end.x));
      EXPECT_EQ(point.y, static_cast<double>(end.y));
      EXPECT_EQ(point.z, static_cast<double>(end.z));
    }
  }
  EXPECT_TRUE(groundLineMarkers({}, clock).markers.empty());
}

}  // namespace
