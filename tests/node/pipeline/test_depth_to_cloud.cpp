// Depth to cloud: units, the depth window, block strides, masks, and regions
// or masks that do not fit the image; the camera outline of a base cloud.
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <opencv2/core.hpp>

#include "cv_bridge/cv_bridge.h"
#include "depth_to_cloud_inputs.hpp"
#include "quorvane_object_detect/cloud.hpp"
#include "quorvane_object_detect/fov_outline.hpp"

namespace
{

using PointCloud = pcl::PointCloud<pcl::PointXYZ>;
const std::array<float, 4> kIntrinsics{500.0F, 400.0F, 320.0F, 200.0F};  // fx, fy, cx, cy

PointCloud project(
  const cv::Mat & depth, const std::string & encoding, const BboxInfo & box, int stride,
  float depth_max = 2.0F)
{
  CloudPara para;
  para.depth_max = depth_max;
  const Cloud cloud(para, nullptr, nullptr);
  auto out = std::make_shared<PointCloud>();
  cloud.depthToCloud(message(depth, encoding), kIntrinsics, box, out, stride);
  EXPECT_EQ(out->width, out->size());
  EXPECT_EQ(out->height, 1U);
  return *out;
}

TEST(DepthToCloud, UnitsAndDepthWindow)
{
  struct Case
  {
    const char * encoding;
    int type;
    double pixel;
    float depth_max;
    bool taken;
    float z;
  };
  const std::vector<Case> cases{
    {"16UC1", CV_16UC1, 1500, 2.0F, true, 1.5F},
    {"mono16", CV_16UC1, 1500, 2.0F, true, 1.5F},
    {"32FC1", CV_32FC1, 1.5, 2.0F, true, 1.5F},
    {"32FC1", CV_32FC1, 2.0, 2.0F, false, 0.0F},    // the limit is not taken
    {"32FC1", CV_32FC1, 1.999, 2.0F, true, 1.999F},
    {"32FC1", CV_32FC1, 0.0, 2.0F, false, 0.0F},
    {"32FC1", CV_32FC1, std::nan(""), 2.0F, false, 0.0F},
    {"16UC1", CV_16UC1, 500, 0.45F, false, 0.0F},
  };
  for (const auto & c : cases) {
    cv::Mat depth(400, 640, c.type, cv::Scalar(0));
    depth.convertTo(depth, c.type);
    if (c.type == CV_16UC1) {
      depth.at<uint16_t>(100, 420) = static_cast<uint16_t>(c.pixel);
    } else {
      depth.at<float>(100, 420) = static_cast<float>(c.pixel);
    }
    const PointCloud cloud = project(depth, c.encoding, region(0, 0, 640, 400), 2, c.depth_max);
    ASSERT_EQ(cloud.size(), c.taken ? 1U : 0U) << c.encoding << " " << c.pixel;
    if (c.taken) {
      EXPECT_NEAR(cloud[0].z, c.z, 1e-6F) << c.encoding;
      EXPECT_FLOAT_EQ(cloud[0].x, (420.0F - 320.0F) * cloud[0].z / 500.0F);
      EXPECT_FLOAT_EQ(cloud[0].y, (100.0F - 200.0F) * cloud[0].z / 400.0F);
    }
  }
}

TEST(DepthToCloud, BlocksMasksAndRegionsOutsideTheImage)
{
  const cv::Mat full(400, 640, CV_32FC1, cv::Scalar(1.0F));
  EXPECT_EQ(project(full, "32FC1", region(0, 0, 640, 400), 2).size(), 320U * 200U);
  const PointCloud thirds = project(full, "32FC1", region(0, 0, 640, 400), 3);
  ASSERT_EQ(thirds.size(), 214U * 134U);
  // The last block column holds only column 639.
  EXPECT_FLOAT_EQ(thirds[213].x, (639.0F - 320.0F) / 500.0F);

  // The first valid pixel of a block is taken, row by row.
  cv::Mat holes(4, 4, CV_32FC1, cv::Scalar(0.0F));
  holes.at<float>(1, 0) = 1.0F;
  holes.at<float>(1, 1) = 1.2F;
  const PointCloud lower = project(holes, "32FC1", region(0, 0, 2, 2), 2);
  ASSERT_EQ(lower.size(), 1U);
  EXPECT_FLOAT_EQ(lower[0].z, 1.0F);

  // A valid depth under an unset mask byte is skipped, even as the only one.
  cv::Mat mask(4, 4, CV_8UC1, cv::Scalar(0));
  mask.at<uint8_t>(1, 1) = 255;
  EXPECT_FLOAT_EQ(project(holes, "32FC1", region(0, 0, 2, 2, mask), 2)[0].z, 1.2F);
  mask.at<uint8_t>(1, 1) = 0;
  EXPECT_TRUE(project(holes, "32FC1", region(0, 0, 2, 2, mask), 2).empty());

  // Regions past the image, masks smaller than it and strides below 1 read
  // nothing outside the buffers.
  const cv::Mat small(10, 12, CV_16UC1, cv::Scalar(1000));
  EXPECT_EQ(project(small, "16UC1", region(-5, -5, 640, 400), 1).size(), 120U);
  EXPECT_EQ(project(small, "16UC1", region(0, 0, 12, 10), 0).size(), 120U);
  EXPECT_EQ(
    project(small, "16UC1", region(0, 0, 12, 10, cv::Mat(3, 4, CV_8UC1, cv::Scalar(1))), 1).size(),
    12U);
  EXPECT_TRUE(project(small, "16UC1", region(5, 5, 5, 9), 1).empty());
  EXPECT_TRUE(project(small, "16UC1", region(9, 5, 3, 9), 1).empty());

  auto broken = std::make_shared<sensor_msgs::msg::Image>(*message(small, "16UC1"));
  broken->data.resize(10);
  const Cloud cloud(CloudPara{}, nullptr, nullptr);
  EXPECT_THROW(
    cloud.depthToCloud(broken, kIntrinsics, region(0, 0, 12, 10), std::make_shared<PointCloud>(), 1),
    cv_bridge::Exception);
}

TEST(FovOutline, ExtremesAreCurrentPoints)
{
  const Eigen::Vector3f origin(0.2F, 0.0F, 0.5F);
  PointCloud cloud;
  FovPoints points = FovPoints::Constant(99.0F);
  EXPECT_FALSE(fovOutline(origin, cloud, points));
  EXPECT_EQ(points, FovPoints::Constant(99.0F));

  // The first point is the farthest and the leftmost: every column is a
  // point of this cloud.
  cloud.push_back({3.0F, 1.0F, 0.0F});
  cloud.push_back({1.0F, 0.0F, 0.1F});
  cloud.push_back({1.5F, -1.0F, 0.2F});
  cloud.push_back({1.5F, -1.0F, 0.3F});  // equal bearing and range: the earlier point stays
  ASSERT_TRUE(fovOutline(origin, cloud, points));
  EXPECT_EQ(points.col(0), cloud[2].getVector3fMap());
  EXPECT_EQ(points.col(1), cloud[0].getVector3fMap());
  EXPECT_EQ(points.col(2), cloud[1].getVector3fMap());
  EXPECT_EQ(points.col(3), cloud[0].getVector3fMap());

  // Behind the camera bearings do not wrap at +-pi.
  PointCloud behind;
  behind.push_back({-1.0F, 0.1F, 0.0F});
  behind.push_back({-1.0F, -0.1F, 0.0F});
  ASSERT_TRUE(fovOutline(origin, behind, points));
  EXPECT_EQ(points.col(0), behind[0].getVector3fMap());
  EXPECT_EQ(points.col(1), behind[1].getVector3fMap());
}

}  // namespace
