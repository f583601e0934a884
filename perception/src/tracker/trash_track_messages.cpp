#include "trash_track_messages.hpp"

#include <string>

namespace pelorin
{
namespace perception
{
namespace
{

constexpr const char* kMapFrame = "map";
constexpr double kUnmeasuredMarkerSize = 0.10;  // m, cube edge for a size never measured
constexpr double kLabelHeight = 0.08;           // m, text size

double MarkerEdge(float measured)
{
  return measured > 0.0F ? static_cast<double>(measured) : kUnmeasuredMarkerSize;
}

}  // namespace

quorvane_protocol::msg::DetectedWastes ToDetectedWastes(const std::vector<TrashTrack>& tracks,
                                                        const builtin_interfaces::msg::Time& stamp)
{
  quorvane_protocol::msg::DetectedWastes msg;
  msg.header.frame_id = kMapFrame;
  msg.header.stamp = stamp;
  msg.wastes.reserve(tracks.size());
  for (const TrashTrack& t : tracks) {
    quorvane_protocol::msg::Waste waste;
    waste.id = t.id;
    waste.label = t.class_id;
    waste.position.x = t.position.x();
    waste.position.y = t.position.y();
    waste.position.z = t.position.z();
    waste.size.x = t.size[0];
    waste.size.y = t.size[1];
    waste.size.z = t.size[2];
    waste.observations = static_cast<uint32_t>(t.hits);
    msg.wastes.push_back(waste);
  }
  return msg;
}

visualization_msgs::msg::MarkerArray ToMarkers(const std::vector<TrashTrack>& tracks,
                                               const builtin_interfaces::msg::Time& stamp)
{
  using visualization_msgs::msg::Marker;
  visualization_msgs::msg::MarkerArray array;
  Marker clear;
  clear.header.frame_id = kMapFrame;
  clear.header.stamp = stamp;
  clear.action = Marker::DELETEALL;
  array.markers.push_back(clear);
  for (const TrashTrack& t : tracks) {
    Marker cube;
    cube.header = clear.header;
    cube.ns = "trash";
    cube.id = static_cast<int32_t>(t.id);
    cube.type = Marker::CUBE;
    cube.action = Marker::ADD;
    cube.pose.position.x = t.position.x();
    cube.pose.position.y = t.position.y();
    cube.pose.position.z = t.position.z();
    cube.pose.orientation.w = 1.0;
    cube.scale.x = MarkerEdge(t.size[0]);
    cube.scale.y = MarkerEdge(t.size[1]);
    cube.scale.z = MarkerEdge(t.size[2]);
    cube.color.r = 1.0F;
    cube.color.g = 0.5F;
    cube.color.b = 0.0F;
    cube.color.a = 0.8F;
    array.markers.push_back(cube);

    Marker text = cube;
    text.ns = "trash_label";
    text.type = Marker::TEXT_VIEW_FACING;
    text.pose.position.z = t.position.z() + cube.scale.z / 2.0 + kLabelHeight;
    text.scale.x = 0.0;
    text.scale.y = 0.0;
    text.scale.z = kLabelHeight;
    text.color.r = 1.0F;
    text.color.g = 1.0F;
    text.color.b = 1.0F;
    text.color.a = 1.0F;
    text.text = "id " + std::to_string(t.id) + " class " + std::to_string(t.class_id);
    array.markers.push_back(text);
  }
  return array;
}

}  // namespace perception
}  // namespace pelorin
