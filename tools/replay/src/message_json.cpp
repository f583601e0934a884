#include "message_json.hpp"

#include <algorithm>
#include <vector>

#include <Eigen/Core>
#include <pcl/point_cloud.h>
#include <pcl/point_types.h>

#include "pcl_conversions/pcl_conversions.h"
#include "quorvane_object_detect/semantic_type.hpp"

namespace replay
{
namespace
{

google::protobuf::Value frameNumber(std::size_t frame)
{
  return number(static_cast<double>(frame));
}

std::vector<double> xyz(const Eigen::Vector3f & v)
{
  return {v.x(), v.y(), v.z()};
}

}  // namespace

double seconds(const builtin_interfaces::msg::Time & stamp)
{
  return stamp.sec + stamp.nanosec * 1e-9;
}

Json objectListJson(
  const quorvane_protocol::msg::ObjectList & message, const std::string & topic, std::size_t frame)
{
  std::vector<google::protobuf::Value> objects;
  for (const auto & item : message.objects) {
    std::vector<google::protobuf::Value> polygon;
    for (const auto & p : item.polygon.points) {
      polygon.push_back(numbers({p.x, p.y}));
    }
    std::vector<google::protobuf::Value> tags;
    for (const auto & tag : item.tags) {
      tags.push_back(text(tag));
    }
    const auto & at = item.pose.position;
    objects.push_back(object(json({
        {"position", numbers({at.x, at.y, at.z})},
        {"height", number(item.height)},
        {"is_person", number(item.is_person)},
        {"pixel_bbox", numbers({item.pixel_bbox.begin(), item.pixel_bbox.end()})},
        {"polygon", list(polygon)},
        {"tags", list(tags)}})));
  }
  return json({
      {"frame", frameNumber(frame)}, {"stamp", number(seconds(message.header.stamp))},
      {"topic", text(topic)}, {"source", text(message.source)}, {"objects", list(objects)}});
}

Json semanticCloudJson(
  const quorvane_protocol::msg::SemanticPointCloud & cloud, const std::string & layer,
  std::size_t frame)
{
  std::vector<google::protobuf::Value> items;
  for (const auto & item : cloud.items) {
    pcl::PointCloud<pcl::PointXYZ> points;
    pcl::fromROSMsg(item.cloud, points);
    Eigen::Vector3f low = Eigen::Vector3f::Constant(0.0F);
    Eigen::Vector3f high = low;
    Eigen::Vector3f sum = low;
    for (std::size_t i = 0; i < points.size(); ++i) {
      const Eigen::Vector3f p = points[i].getVector3fMap();
      low = i ? low.cwiseMin(p) : p;
      high = i ? high.cwiseMax(p) : p;
      sum += p;
    }
    const float n = static_cast<float>(std::max<std::size_t>(points.size(), 1));
    items.push_back(object(json({
        {"label", number(item.label)},
        {"class", text(semantic::SemanticTypeName(item.label))},
        {"has_bbox", number(item.has_bbox ? 1 : 0)},
        {"points", number(static_cast<double>(points.size()))},
        {"centroid", numbers(xyz(sum / n))},
        {"min", numbers(xyz(low))},
        {"max", numbers(xyz(high))}})));
  }
  return json({
      {"frame", frameNumber(frame)}, {"stamp", number(seconds(cloud.header.stamp))},
      {"camera", number(cloud.camera_id)}, {"layer", text(layer)}, {"items", list(items)}});
}

Json wastesJson(const quorvane_protocol::msg::DetectedWastes & wastes, std::size_t frame)
{
  std::vector<google::protobuf::Value> tracks;
  for (const auto & waste : wastes.wastes) {
    tracks.push_back(object(json({
        {"id", number(waste.id)},
        {"label", number(waste.label)},
        {"class", text(semantic::SemanticTypeName(waste.label))},
        {"position", numbers({waste.position.x, waste.position.y, waste.position.z})},
        {"size", numbers({waste.size.x, waste.size.y, waste.size.z})},
        {"observations", number(waste.observations)}})));
  }
  return json({
      {"frame", frameNumber(frame)}, {"stamp", number(seconds(wastes.header.stamp))},
      {"frame_id", text(wastes.header.frame_id)}, {"wastes", list(tracks)}});
}

Json robotEventJson(const quorvane_protocol::msg::RobotEvent & event, std::size_t frame)
{
  std::vector<google::protobuf::Value> params;
  for (const auto & param : event.params) {
    params.push_back(text(param));
  }
  return json({
      {"frame", frameNumber(frame)}, {"stamp", number(seconds(event.header.stamp))},
      {"event_type", number(event.event_type)}, {"event_code", number(event.event_code)},
      {"params", list(params)}});
}

}  // namespace replay
