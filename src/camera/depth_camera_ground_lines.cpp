#include "quorvane_object_detect/depth_camera.hpp"
#include "quorvane_object_detect/ground_line_markers.hpp"

visualization_msgs::msg::MarkerArray groundLineMarkers(
  const std::vector<pcl::PointCloud<pcl::PointXYZ>> & lines, rclcpp::Clock & clock)
{
  visualization_msgs::msg::MarkerArray markers;
  for (const auto & line : lines) {
    if (line.size() < 2) {
      continue;
    }
    visualization_msgs::msg::Marker marker;
    marker.header.frame_id = kBaseFrame;
    marker.header.stamp = clock.now();
    marker.ns = "lines";
    marker.id = static_cast<int32_t>(markers.markers.size());
    marker.type = visualization_msgs::msg::Marker::LINE_STRIP;
    marker.action = visualization_msgs::msg::Marker::ADD;
    marker.pose.orientation.w = 1.0;
    marker.scale.x = 0.01;
    marker.color.r = 1.0F;
    marker.color.a = 1.0F;
    for (const pcl::PointXYZ * end : {&line.points.front(), &line.points.back()}) {
      geometry_msgs::msg::Point point;
      point.x = end->x;
      point.y = end->y;
      point.z = end->z;
      marker.points.push_back(point);
    }
    markers.markers.push_back(marker);
  }
  return markers;
}

// The ground lines of the last fit as red line strips from their first to
// their last point.
void DepthCamera::publishGroundLineMarkers()
{
  rclcpp::Clock clock(RCL_SYSTEM_TIME);
  ground_line_pub_->publish(groundLineMarkers(cloud_->remove_ground_->GetGroundLines(), clock));
}
