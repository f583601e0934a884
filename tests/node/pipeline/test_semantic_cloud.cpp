// The class-coloured cloud and the semantic cloud message built from labelled clusters.
#include <chrono>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "pcl_conversions/pcl_conversions.h"
#include "quorvane_object_detect/cloud.hpp"
#include "quorvane_object_detect/colored_cloud.hpp"
#include "quorvane_object_detect/common.hpp"
#include "quorvane_protocol/msg/semantic_point_cloud.hpp"
#include "rclcpp/rclcpp.hpp"
#include "sensor_msgs/msg/point_cloud2.hpp"

namespace
{

using sensor_msgs::msg::PointCloud2;

CloudInfo record(int32_t label, bool has_bbox, std::size_t points)
{
  CloudInfo info;
  info.label = label;
  info.has_bbox = has_bbox;
  for (std::size_t i = 0; i < points; ++i) {
    const float v = static_cast<float>(label) + 0.25F * static_cast<float>(i);
    info.cloud.push_back(pcl::PointXYZ(v, -v, 2.0F * v));
  }
  return info;
}

// What publishColoredCloud sends for `records` at 12.5 s.
std::vector<PointCloud2> colouredClouds(const std::vector<CloudInfo> & records)
{
  auto context = std::make_shared<rclcpp::Context>();
  context->init(0, nullptr);
  auto node =
    std::make_shared<rclcpp::Node>("colour_probe", rclcpp::NodeOptions().context(context));
  std::vector<PointCloud2> received;
  auto subscription = node->create_subscription<PointCloud2>(
    "colour", rclcpp::QoS(10), [&](std::shared_ptr<const PointCloud2> m) {received.push_back(*m);});
  publishColoredCloud(records, node->create_publisher<PointCloud2>("colour", rclcpp::QoS(10)), 12.5);
  rclcpp::ExecutorOptions options;
  options.context = context;
  rclcpp::executors::SingleThreadedExecutor executor(options);
  executor.spin_node_some(node);
  return received;
}

TEST(ColoredCloud, PaletteRowOfLabelModuloTwenty)
{
  struct Case
  {
    int32_t label;
    std::size_t row;
  };
  const std::vector<Case> cases{{23, 3}, {300, 0}, {-23, 3}, {5, 5}};
  std::vector<CloudInfo> records;
  for (const Case & c : cases) {
    records.push_back(record(c.label, false, 2));
  }
  const auto clouds = colouredClouds(records);
  ASSERT_EQ(clouds.size(), 1U);
  EXPECT_EQ(clouds[0].header.frame_id, "base_footprint");
  EXPECT_EQ(clouds[0].header.stamp.sec, 12);
  EXPECT_EQ(clouds[0].header.stamp.nanosec, 500000000U);
  EXPECT_EQ(clouds[0].height, 1U);
  pcl::PointCloud<pcl::PointXYZRGB> points;
  pcl::fromROSMsg(clouds[0], points);
  ASSERT_EQ(points.size(), 2 * cases.size());
  for (std::size_t i = 0; i < points.size(); ++i) {
    const auto & in = records[i / 2].cloud[i % 2];
    const auto & colour = kColorPalette20[cases[i / 2].row];
    const auto & out = points[i];
    SCOPED_TRACE("label " + std::to_string(cases[i / 2].label));
    EXPECT_EQ(out.x, in.x);
    EXPECT_EQ(out.y, in.y);
    EXPECT_EQ(out.z, in.z);
    EXPECT_EQ(out.r, colour[0]);
    EXPECT_EQ(out.g, colour[1]);
    EXPECT_EQ(out.b, colour[2]);
    EXPECT_EQ(out.a, 255);
  }

  const auto empty = colouredClouds({});
  ASSERT_EQ(empty.size(), 1U);
  EXPECT_EQ(empty[0].width, 0U);
  EXPECT_EQ(empty[0].height, 1U);
  publishColoredCloud(records, nullptr, 12.5);  // no publisher: nothing, no crash
}

TEST(SemanticPointCloud, OneXyzItemPerRecordWithItsPointsUnchanged)
{
  const std::vector<CloudInfo> records{record(401, true, 3), record(1, false, 0),
    record(-5, true, 1)};
  const auto message = semanticPointCloud(records, 1, false, nullptr, 12.5);
  EXPECT_EQ(message.header.frame_id, "base_footprint");
  EXPECT_EQ(message.header.stamp.sec, 12);
  EXPECT_EQ(message.header.stamp.nanosec, 500000000U);
  ASSERT_EQ(message.items.size(), records.size());
  for (std::size_t i = 0; i < records.size(); ++i) {
    const auto & item = message.items[i];
    const auto & points = records[i].cloud;
    SCOPED_TRACE("record " + std::to_string(i));
    EXPECT_EQ(item.label, records[i].label);
    EXPECT_EQ(item.has_bbox, records[i].has_bbox);
    EXPECT_EQ(item.cloud.header, message.header);
    ASSERT_EQ(item.cloud.fields.size(), 3U);
    for (std::size_t f = 0; f < 3; ++f) {
      EXPECT_EQ(item.cloud.fields[f].name, std::string(1, "xyz"[f]));
      EXPECT_EQ(item.cloud.fields[f].offset, 4 * f);
      EXPECT_EQ(item.cloud.fields[f].datatype, sensor_msgs::msg::PointField::FLOAT32);
      EXPECT_EQ(item.cloud.fields[f].count, 1U);
    }
    EXPECT_EQ(item.cloud.point_step, 16U);
    EXPECT_EQ(item.cloud.width, points.size());
    ASSERT_EQ(item.cloud.data.size(), 16 * points.size());
    for (std::size_t p = 0; p < points.size(); ++p) {
      float xyz[3];
      std::memcpy(xyz, item.cloud.data.data() + 16 * p, sizeof(xyz));
      EXPECT_EQ(xyz[0], points[p].x);
      EXPECT_EQ(xyz[1], points[p].y);
      EXPECT_EQ(xyz[2], points[p].z);
    }
  }
}

TEST(SemanticPointCloud, TraceTimeOnlyWhenTracing)
{
  // Milliseconds since 2024-04-12 12:33:55.612 UTC, in 32 bits.
  const auto traceNow = [] {
      return static_cast<uint32_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(
          std::chrono::system_clock::now().time_since_epoch()).count() - 1712920435612);
    };
  const std::vector<CloudInfo> records{record(1, false, 1), record(2, false, 1)};
  for (const bool trace : {false, true}) {
    const uint32_t before = traceNow();
    const auto message = semanticPointCloud(records, 1, trace, nullptr, 0.0);
    const uint32_t after = traceNow();
    for (const auto & item : message.items) {
      if (trace) {
        EXPECT_LE(item.trace_time_ms - before, after - before);  // wrap-safe
      } else {
        EXPECT_EQ(item.trace_time_ms, 0U);
      }
    }
  }
}

TEST(SemanticPointCloud, CameraIdKeepsLowEightBits)
{
  struct Case
  {
    int camera;
    uint8_t sent;
  };
  for (const Case & c : std::vector<Case>{{1, 1}, {255, 255}, {257, 1}, {512, 0}}) {
    EXPECT_EQ(semanticPointCloud({}, c.camera, false, nullptr, 0.0).camera_id, c.sent)
      << "camera " << c.camera;
  }
}

TEST(SemanticPointCloud, FourFovPointsFromCompleteOutlineOnly)
{
  FovPoints outline;
  for (int c = 0; c < 4; ++c) {
    outline.col(c) << 10.0F * c, 10.0F * c + 1.0F, 10.0F * c + 2.0F;
  }
  const auto filled = std::make_shared<CameraFrame>(Eigen::Vector3f::Zero());
  filled->setFovPoints(outline);
  const auto refilling = std::make_shared<CameraFrame>(Eigen::Vector3f::Zero());
  refilling->setFovPoints(outline);
  refilling->valid.store(false);
  struct Case
  {
    const char * name;
    std::shared_ptr<CameraFrame> frame;
    bool outlined;
  };
  const std::vector<Case> cases{
    {"no entry", nullptr, false},
    {"never filled", std::make_shared<CameraFrame>(Eigen::Vector3f::Zero()), false},
    {"being refilled", refilling, false},
    {"filled", filled, true}};
  for (const Case & c : cases) {
    const auto points = semanticPointCloud({}, 1, false, c.frame, 0.0).fov_points;
    ASSERT_EQ(points.size(), c.outlined ? 4U : 0U) << c.name;
    for (std::size_t i = 0; i < points.size(); ++i) {
      const int col = static_cast<int>(i);
      EXPECT_EQ(points[i].x, outline(0, col));
      EXPECT_EQ(points[i].y, outline(1, col));
      EXPECT_EQ(points[i].z, outline(2, col));
    }
  }
}

}  // namespace
