#include <algorithm>
#include <string>
#include <vector>

#include "pelorin/perception/time_conversions.hpp"
#include "quorvane_object_detect/depth_camera.hpp"
#include "quorvane_object_detect/rgb_objects.hpp"
#include "semantic.pb.h"

namespace
{

constexpr float kHalfFootprint = 0.25F;  // metres: a 0.5 m square around the foot point

}  // namespace

cv::Point footPixel(const BboxInfo & box, const pelorin::perception::RgbDetector & table)
{
  return {std::clamp((box.x1 + box.x2) / 2, 0, table.width - 1),
    std::clamp(box.y2, 0, table.height - 1)};
}

quorvane_protocol::msg::ObjectList rgbObjectList(
  const std::vector<BboxInfo> & boxes, const pelorin::perception::RgbDetector & table,
  int camera_id, double time)
{
  quorvane_protocol::msg::ObjectList list;
  list.header.frame_id = kBaseFrame;
  list.header.stamp = DoubleToStamp(time);
  list.source = "camera_" + std::to_string(camera_id) + "_rgb";
  list.source_type = quorvane_protocol::msg::ObjectList::SOURCE_TYPE_RGB;
  for (const BboxInfo & box : boxes) {
    if (box.class_id != semantic::PERSON) {
      continue;
    }
    const cv::Point foot = footPixel(box, table);
    const Eigen::Vector3f ground =
      table.ground_points.col(static_cast<Eigen::Index>(foot.y) * table.width + foot.x);
    quorvane_protocol::msg::ObjectItem item;
    item.pose.position.x = ground.x();
    item.pose.position.y = ground.y();
    item.pose.position.z = ground.z();
    item.pose.orientation.w = 1.0;
    for (const auto & [dx, dy] : {std::pair{-1.0F, -1.0F}, {-1.0F, 1.0F}, {1.0F, 1.0F},
        {1.0F, -1.0F}})
    {
      geometry_msgs::msg::Point32 corner;
      corner.x = ground.x() + dx * kHalfFootprint;
      corner.y = ground.y() + dy * kHalfFootprint;
      item.polygon.points.push_back(corner);
    }
    item.pixel_bbox = {
      static_cast<double>(box.x1), static_cast<double>(box.y1), static_cast<double>(box.x2),
      static_cast<double>(box.y2)};
    item.is_person = 1;
    list.objects.push_back(item);
  }
  return list;
}

void DepthCamera::publishRgbObjects(const FrameContext & frame)
{
  if (!rgb_detector_) {
    return;
  }
  objects_rgb_pub_->publish(
    rgbObjectList(frame.detection.bboxs_info, *rgb_detector_, camera_id_, frame.frame_stamp));
}
