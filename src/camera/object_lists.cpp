#include "quorvane_object_detect/object_lists.hpp"

#include <cmath>
#include <string>

#include <opencv2/imgproc.hpp>
#include <pcl/common/centroid.h>

#include "pelorin/perception/time_conversions.hpp"
#include "semantic.pb.h"

namespace
{

constexpr std::size_t kMinObjectPoints = 5;

// The outline of the points on the floor.  Points without finite x and y are
// left out: they would break the ordering the hull sorts by.
geometry_msgs::msg::Polygon groundOutline(const pcl::PointCloud<pcl::PointXYZ> & cloud)
{
  std::vector<cv::Point2f> points;
  points.reserve(cloud.size());
  for (const pcl::PointXYZ & p : cloud) {
    if (std::isfinite(p.x) && std::isfinite(p.y)) {
      points.emplace_back(p.x, p.y);
    }
  }
  geometry_msgs::msg::Polygon outline;
  if (points.empty()) {
    return outline;
  }
  std::vector<cv::Point2f> hull;
  cv::convexHull(points, hull, false, true);
  for (const cv::Point2f & vertex : hull) {
    geometry_msgs::msg::Point32 point;
    point.x = vertex.x;
    point.y = vertex.y;
    outline.points.push_back(point);
  }
  return outline;
}

quorvane_protocol::msg::ObjectList emptyList(int camera_id, double time)
{
  quorvane_protocol::msg::ObjectList list;
  list.header.frame_id = kBaseFrame;
  list.header.stamp = DoubleToStamp(time);
  list.source = "camera_" + std::to_string(camera_id) + "_rgbd";
  list.source_type = quorvane_protocol::msg::ObjectList::SOURCE_TYPE_RGBD;
  return list;
}

}  // namespace

std::optional<quorvane_protocol::msg::ObjectItem> objectItem(const CloudInfo & record)
{
  if (record.cloud.size() < kMinObjectPoints) {
    return std::nullopt;
  }
  quorvane_protocol::msg::ObjectItem item;
  // Stays at the origin when no point is finite.
  Eigen::Vector4f centroid = Eigen::Vector4f::Zero();
  pcl::compute3DCentroid(record.cloud, centroid);
  item.pose.position.x = centroid.x();
  item.pose.position.y = centroid.y();
  item.pose.orientation.w = 1.0;
  item.polygon = groundOutline(record.cloud);
  item.pixel_bbox = {
    static_cast<double>(record.bbox.x1), static_cast<double>(record.bbox.y1),
    static_cast<double>(record.bbox.x2), static_cast<double>(record.bbox.y2)};
  item.is_person = record.label == semantic::PERSON ? 1 : 0;
  double height = 0.0;
  for (const pcl::PointXYZ & p : record.cloud) {
    // Written so that a NaN z is passed over.
    if (p.z > height) {
      height = p.z;
    }
  }
  item.height = height;
  return item;
}

ObjectLists objectLists(const std::vector<CloudInfo> & dynamic_records, int camera_id, double time)
{
  ObjectLists lists{emptyList(camera_id, time), emptyList(camera_id, time)};
  for (const CloudInfo & record : dynamic_records) {
    const auto item = objectItem(record);
    if (!item) {
      continue;
    }
    if (item->is_person == 1) {
      lists.people.objects.push_back(*item);
    }
    lists.objects.objects.push_back(*item);
  }
  return lists;
}
