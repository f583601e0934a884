// The generated message structs: defaults, constants, field order and equality.
#include <gtest/gtest.h>

#include <type_traits>

#include "lifecycle_msgs/msg/state.hpp"
#include "quorvane_protocol/msg/object_list.hpp"
#include "quorvane_protocol/msg/semantic_point_cloud.hpp"
#include "sensor_msgs/msg/camera_info.hpp"
#include "sensor_msgs/msg/point_cloud2.hpp"
#include "visualization_msgs/msg/marker_array.hpp"

TEST(GeneratedMessages, DefaultsAreZeroOrAsWritten)
{
  sensor_msgs::msg::CameraInfo info;
  EXPECT_EQ(info.width, 0u);
  for (double v : info.k) {EXPECT_EQ(v, 0.0);}
  EXPECT_EQ(info.k.size(), 9u);
  EXPECT_EQ(info.p.size(), 12u);
  EXPECT_TRUE(info.d.empty());

  geometry_msgs::msg::Quaternion q;
  EXPECT_EQ(q.w, 1.0);  // the identity rotation, as ROS 2 defines it
  EXPECT_EQ(q.x, 0.0);

  quorvane_protocol::msg::ObjectItem item;
  for (double v : item.pixel_bbox) {EXPECT_EQ(v, 0.0);}
  EXPECT_EQ(item.is_person, 0);
}

TEST(GeneratedMessages, ConstantsKeepTheirValuesAndTypes)
{
  EXPECT_EQ(sensor_msgs::msg::PointField::FLOAT32, 7);
  EXPECT_EQ(visualization_msgs::msg::Marker::DELETEALL, 3);
  EXPECT_EQ(lifecycle_msgs::msg::State::PRIMARY_STATE_ACTIVE, 3);
  static_assert(std::is_same<decltype(sensor_msgs::msg::PointField::FLOAT32), const uint8_t>::value,
    "uint8 constants must stay uint8");
}

TEST(GeneratedMessages, EqualityComparesEveryFieldIncludingNested)
{
  quorvane_protocol::msg::SemanticPointCloud a;
  a.header.frame_id = "base_footprint";
  a.items.resize(1);
  a.items[0].label = 300;
  auto b = a;
  EXPECT_EQ(a, b);
  b.items[0].cloud.header.stamp.nanosec = 1;
  EXPECT_NE(a, b);
}

TEST(GeneratedMessages, PointerAliases)
{
  static_assert(std::is_same<sensor_msgs::msg::PointCloud2::ConstSharedPtr,
    std::shared_ptr<const sensor_msgs::msg::PointCloud2>>::value, "ConstSharedPtr");
  static_assert(std::is_same<quorvane_protocol::msg::ObjectList::UniquePtr,
    std::unique_ptr<quorvane_protocol::msg::ObjectList>>::value, "UniquePtr");
  SUCCEED();
}
