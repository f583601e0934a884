#include <chrono>
#include <cstdint>
#include <memory>
#include <utility>

#include "pelorin/perception/time_conversions.hpp"
#include "quorvane_object_detect/cloud_message.hpp"
#include "quorvane_object_detect/colored_cloud.hpp"
#include "quorvane_object_detect/depth_camera.hpp"
#include "sensor_msgs/point_cloud2_iterator.hpp"

namespace
{

// Trace times count from a fixed day so that milliseconds fit in 32 bits.
constexpr int64_t kTraceEpochMs = 1712920435612;

int64_t systemMs()
{
  return std::chrono::duration_cast<std::chrono::milliseconds>(
    std::chrono::system_clock::now().time_since_epoch()).count();
}

}  // namespace

quorvane_protocol::msg::SemanticPointCloud semanticPointCloud(
  const std::vector<CloudInfo> & records, int camera_id, bool trace,
  const std::shared_ptr<CameraFrame> & frame, double time)
{
  quorvane_protocol::msg::SemanticPointCloud message;
  message.header.frame_id = kBaseFrame;
  message.header.stamp = DoubleToStamp(time);
  message.camera_id = static_cast<uint8_t>(camera_id & 0xFF);
  message.items.reserve(records.size());
  for (const CloudInfo & record : records) {
    quorvane_protocol::msg::SemanticCloudItem item;
    item.label = record.label;
    item.trace_time_ms = trace ? static_cast<uint32_t>(systemMs() - kTraceEpochMs) : 0U;
    item.has_bbox = record.has_bbox;
    item.cloud = toCloudMessage(record.cloud, message.header.stamp);
    // Receivers expect exactly x, y, z; the points keep their 16-byte step.
    sensor_msgs::PointCloud2Modifier(item.cloud).setPointCloud2FieldsByString(1, "xyz");
    message.items.push_back(std::move(item));
  }
  FovPoints fov;
  if (frame && frame->getFovPoints(fov)) {
    message.fov_points.resize(4);
    for (int i = 0; i < 4; ++i) {
      message.fov_points[static_cast<std::size_t>(i)].x = fov(0, i);
      message.fov_points[static_cast<std::size_t>(i)].y = fov(1, i);
      message.fov_points[static_cast<std::size_t>(i)].z = fov(2, i);
    }
  }
  return message;
}

void DepthCamera::publishSemanticPointCloud(
  const std::vector<CloudInfo> & records,
  const rclcpp::Publisher<quorvane_protocol::msg::SemanticPointCloud>::SharedPtr & semantic_pub,
  rclcpp::Publisher<sensor_msgs::msg::PointCloud2>::SharedPtr colour_pub, bool colour,
  double time)
{
  if (!semantic_pub) {
    return;
  }
  semantic_pub->publish(
    std::make_unique<quorvane_protocol::msg::SemanticPointCloud>(
      semanticPointCloud(records, camera_id_, data_flow_trace_, getCameraFrame(camera_id_), time)));
  if (colour) {
    publishColoredCloud(records, colour_pub, time);
  }
  if (debug_) {
    std::size_t points = 0;
    for (const CloudInfo & record : records) {
      points += record.cloud.size();
    }
    QLOG_AS(
      "publishSemanticPointCloud", spdlog::level::debug,
      "trace perception send data timestamp: {} (ms), camera_id: {}, cluster_size: {}, points: {}",
      systemMs(), camera_id_, records.size(), points);
  }
}
