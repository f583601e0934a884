#include <cmath>
#include <limits>
#include <stdexcept>

#include <gtest/gtest.h>

#include "pcl_conversions/pcl_conversions.h"
#include "pcl_ros/transforms.hpp"

namespace
{

geometry_msgs::msg::TransformStamped yawWithTranslation(double scale)
{
  // 90 degrees about z, quaternion deliberately scaled by `scale`.
  geometry_msgs::msg::TransformStamped t;
  t.header.frame_id = "base_footprint";
  t.child_frame_id = "camera";
  t.transform.rotation.z = scale * std::sqrt(0.5);
  t.transform.rotation.w = scale * std::sqrt(0.5);
  t.transform.translation.x = 1.0;
  t.transform.translation.y = 2.0;
  t.transform.translation.z = 3.0;
  return t;
}

TEST(TransformAsMatrix, NinetyDegreeYawWithTranslation)
{
  Eigen::Matrix4f expected;
  expected << 0, -1, 0, 1,
    1, 0, 0, 2,
    0, 0, 1, 3,
    0, 0, 0, 1;
  for (const double scale : {1.0, 2.5}) {
    Eigen::Matrix4f m;
    pcl_ros::transformAsMatrix(yawWithTranslation(scale), m);
    EXPECT_TRUE(m.isApprox(expected, 1e-6f)) << "scale " << scale << "\n" << m;
  }
  Eigen::Matrix4f untouched = Eigen::Matrix4f::Constant(7.f);
  EXPECT_THROW(pcl_ros::transformAsMatrix(yawWithTranslation(0.0), untouched), std::invalid_argument);
  EXPECT_TRUE(untouched.isApprox(Eigen::Matrix4f::Constant(7.f)));
}

TEST(TransformPointCloud, MovesFinitePointsAndKeepsTheRest)
{
  pcl::PointCloud<pcl::PointXYZ> cloud;
  const float nan = std::numeric_limits<float>::quiet_NaN();
  cloud.push_back({1.f, 0.f, 0.f});
  cloud.push_back({nan, 0.f, 0.f});
  sensor_msgs::msg::PointCloud2 in;
  pcl::toROSMsg(cloud, in);

  Eigen::Matrix4f m;
  pcl_ros::transformAsMatrix(yawWithTranslation(1.0), m);
  sensor_msgs::msg::PointCloud2 out;
  pcl_ros::transformPointCloud(m, in, out);
  pcl::PointCloud<pcl::PointXYZ> moved;
  pcl::fromROSMsg(out, moved);
  ASSERT_EQ(moved.size(), 2u);
  EXPECT_NEAR(moved[0].x, 1.f, 1e-6f);
  EXPECT_NEAR(moved[0].y, 3.f, 1e-6f);
  EXPECT_NEAR(moved[0].z, 3.f, 1e-6f);
  EXPECT_TRUE(std::isnan(moved[1].x));
  EXPECT_EQ(moved[1].y, 0.f);

  // In place gives the same result.
  pcl_ros::transformPointCloud(m, in, in);
  EXPECT_EQ(in.data, out.data);
}

}  // namespace
