#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "pcl_conversions/pcl_conversions.h"
#include "pcl_ros/transforms.hpp"
#include "sensor_msgs/point_cloud2_iterator.hpp"

namespace
{

using sensor_msgs::msg::PointCloud2;
using sensor_msgs::msg::PointField;

void expectField(const PointField & field, const char * name, uint32_t offset, uint8_t datatype)
{
  EXPECT_EQ(field.name, name);
  EXPECT_EQ(field.offset, offset) << name;
  EXPECT_EQ(field.datatype, datatype) << name;
  EXPECT_EQ(field.count, 1u) << name;
}

PointCloud2 xyzCloud(const std::vector<pcl::PointXYZ> & points)
{
  pcl::PointCloud<pcl::PointXYZ> cloud;
  for (const auto & p : points) {
    cloud.push_back(p);
  }
  PointCloud2 msg;
  pcl::toROSMsg(cloud, msg);
  return msg;
}

TEST(PclConversions, PointXyzLayoutIsPclPadded)
{
  pcl::PointCloud<pcl::PointXYZ> cloud;
  cloud.push_back({1.f, 2.f, 3.f});
  cloud.push_back({4.f, 5.f, 6.f});
  cloud.header.frame_id = "base_footprint";
  cloud.header.stamp = 12345678;  // microseconds

  PointCloud2 msg;
  pcl::toROSMsg(cloud, msg);
  ASSERT_EQ(msg.fields.size(), 3u);
  expectField(msg.fields[0], "x", 0, PointField::FLOAT32);
  expectField(msg.fields[1], "y", 4, PointField::FLOAT32);
  expectField(msg.fields[2], "z", 8, PointField::FLOAT32);
  EXPECT_EQ(msg.point_step, 16u);
  EXPECT_EQ(msg.row_step, 32u);
  EXPECT_EQ(msg.width, 2u);
  EXPECT_EQ(msg.height, 1u);
  EXPECT_EQ(msg.header.frame_id, "base_footprint");
  EXPECT_EQ(msg.header.stamp.sec, 12);
  EXPECT_EQ(msg.header.stamp.nanosec, 345678000u);

  // Re-declaring the fields as "xyz" keeps the same layout and points.
  const std::vector<uint8_t> data = msg.data;
  sensor_msgs::PointCloud2Modifier(msg).setPointCloud2FieldsByString(1, "xyz");
  EXPECT_EQ(msg.point_step, 16u);
  EXPECT_EQ(msg.data, data);
}

TEST(PclConversions, HeaderStampsRoundTripAtMicroseconds)
{
  std_msgs::msg::Header header;
  header.stamp.sec = 1712920435;
  header.stamp.nanosec = 612345999;
  header.frame_id = "camera";
  const pcl::PCLHeader pcl_header = pcl_conversions::toPCL(header);
  EXPECT_EQ(pcl_header.stamp, 1712920435612345ull);
  const std_msgs::msg::Header back = pcl_conversions::fromPCL(pcl_header);
  EXPECT_EQ(back.stamp.sec, header.stamp.sec);
  EXPECT_EQ(back.stamp.nanosec, 612345000u);
  EXPECT_EQ(back.frame_id, "camera");

  const rclcpp::Time time(int64_t{1712920435612345999});
  EXPECT_EQ(pcl_conversions::toPCL(time), 1712920435612345ull);
  EXPECT_EQ(pcl_conversions::fromPCL(1712920435612345ull).nanoseconds(), 1712920435612345000);
}

TEST(PclConversions, XyzRgbColoursSurviveRoundTrip)
{
  pcl::PointCloud<pcl::PointXYZRGB> cloud;
  const uint8_t colours[3][3] = {{255, 0, 0}, {0, 255, 0}, {12, 34, 56}};
  for (int i = 0; i < 3; ++i) {
    pcl::PointXYZRGB p(colours[i][0], colours[i][1], colours[i][2]);
    p.x = static_cast<float>(i);
    cloud.push_back(p);
  }
  PointCloud2 msg;
  pcl::toROSMsg(cloud, msg);
  EXPECT_EQ(msg.point_step, 32u);

  // The colour channels as another ROS reader sees them.
  sensor_msgs::PointCloud2ConstIterator<uint8_t> r(msg, "r"), g(msg, "g"), b(msg, "b");
  for (int i = 0; i < 3; ++i, ++r, ++g, ++b) {
    EXPECT_EQ(*r, colours[i][0]);
    EXPECT_EQ(*g, colours[i][1]);
    EXPECT_EQ(*b, colours[i][2]);
  }

  pcl::PointCloud<pcl::PointXYZRGB> back;
  pcl::fromROSMsg(msg, back);
  ASSERT_EQ(back.size(), 3u);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(back[i].r, colours[i][0]);
    EXPECT_EQ(back[i].g, colours[i][1]);
    EXPECT_EQ(back[i].b, colours[i][2]);
    EXPECT_EQ(back[i].x, static_cast<float>(i));
  }
}

TEST(PclConversions, MalformedCloudsAreRejected)
{
  const PointCloud2 good = xyzCloud({{1, 2, 3}, {4, 5, 6}});
  const struct
  {
    const char * what;
    void (* spoil)(PointCloud2 &);
  } cases[] = {
    {"data too short", [](PointCloud2 & c) {c.data.resize(c.data.size() - 1);}},
    {"data too long", [](PointCloud2 & c) {c.data.resize(c.data.size() + 16);}},
    {"row_step below width", [](PointCloud2 & c) {c.row_step = 16; c.data.resize(16);}},
    {"point_step below fields", [](PointCloud2 & c) {c.point_step = 8;}},
    {"zero point_step", [](PointCloud2 & c) {c.point_step = 0;}},
    {"field past point", [](PointCloud2 & c) {c.fields[2].offset = 14;}},
    {"unknown datatype", [](PointCloud2 & c) {c.fields[1].datatype = 0;}},
    {"height wraps 32 bits", [](PointCloud2 & c) {c.height = 0x80000001u; c.row_step = 0;}},
  };
  for (const auto & c : cases) {
    PointCloud2 bad = good;
    c.spoil(bad);
    pcl::PointCloud<pcl::PointXYZ> out;
    EXPECT_THROW(pcl::fromROSMsg(bad, out), pcl::InvalidConversionException) << c.what;

    // pcl_ros leaves the output alone rather than walking a bad buffer.
    PointCloud2 untouched = good;
    pcl_ros::transformPointCloud(Eigen::Matrix4f::Identity(), bad, untouched);
    EXPECT_EQ(untouched, good) << c.what;
  }

  PointCloud2 no_columns = good;
  no_columns.width = 0;
  no_columns.row_step = 0;
  no_columns.height = 3;
  no_columns.data.clear();
  pcl::PointCloud<pcl::PointXYZ> empty;
  pcl::fromROSMsg(no_columns, empty);
  EXPECT_TRUE(empty.empty());
}

TEST(PointCloud2Iterator, WritesAndReadsByFieldName)
{
  PointCloud2 msg;
  sensor_msgs::PointCloud2Modifier modifier(msg);
  modifier.setPointCloud2FieldsByString(2, "xyz", "rgb");
  ASSERT_EQ(msg.fields.size(), 4u);
  expectField(msg.fields[3], "rgb", 16, PointField::FLOAT32);
  EXPECT_EQ(msg.point_step, 32u);
  modifier.resize(3);
  EXPECT_EQ(modifier.size(), 3u);
  EXPECT_EQ(msg.width, 3u);
  EXPECT_EQ(msg.row_step, 96u);

  sensor_msgs::PointCloud2Iterator<float> x(msg, "x");
  sensor_msgs::PointCloud2Iterator<uint8_t> red(msg, "r");
  int written = 0;
  for (; x != x.end(); ++x, ++red, ++written) {
    x[0] = static_cast<float>(written);
    x[2] = 10.f * static_cast<float>(written);  // z through x's element index
    *red = static_cast<uint8_t>(100 + written);
  }
  EXPECT_EQ(written, 3);

  pcl::PointCloud<pcl::PointXYZRGB> cloud;
  pcl::fromROSMsg(msg, cloud);
  ASSERT_EQ(cloud.size(), 3u);
  EXPECT_EQ(cloud[2].x, 2.f);
  EXPECT_EQ(cloud[2].z, 20.f);
  EXPECT_EQ(cloud[1].r, 101);

  sensor_msgs::PointCloud2ConstIterator<float> z(msg, "z");
  EXPECT_EQ(*(z + 2), 20.f);

  modifier.setPointCloud2Fields(
    2, "x", 1, PointField::FLOAT32, "intensity", 1, PointField::UINT16);
  expectField(msg.fields[1], "intensity", 4, PointField::UINT16);
  EXPECT_EQ(msg.point_step, 6u);
  modifier.clear();
  EXPECT_EQ(modifier.size(), 0u);
  EXPECT_EQ(msg.width, 0u);
}

TEST(PointCloud2Iterator, RefusesWhatItCannotReadSafely)
{
  PointCloud2 msg = xyzCloud({{1, 2, 3}, {4, 5, 6}});
  try {
    sensor_msgs::PointCloud2Iterator<float> missing(msg, "intensity");
    ADD_FAILURE() << "missing field accepted";
  } catch (const std::runtime_error & e) {
    EXPECT_NE(std::string(e.what()).find("intensity"), std::string::npos);
  }
  // A double at z's offset would run past the 16-byte point.
  msg.fields[2].offset = 12;
  EXPECT_THROW(sensor_msgs::PointCloud2ConstIterator<double>(msg, "z"), std::runtime_error);

  // A trailing partial point is not visited.
  msg.data.resize(msg.data.size() + 8);
  int visited = 0;
  for (sensor_msgs::PointCloud2ConstIterator<float> x(msg, "x"); x != x.end(); ++x) {
    ++visited;
  }
  EXPECT_EQ(visited, 2);
}

}  // namespace
