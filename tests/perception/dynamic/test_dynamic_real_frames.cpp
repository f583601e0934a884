// The detector on recorded frames of a still room: real noise, holes and edges
// must not look like motion.

#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>

#include "pelorin/perception/dynamic_cloud_detector.hpp"

namespace
{

using pelorin::perception::DynamicCloudDetector;
using Cloud = pcl::PointCloud<pcl::PointXYZ>;

std::string DataDir()
{
  const char* env = std::getenv("QUORVANE_RGBD_DATA");
  return env != nullptr ? env : std::string(QUORVANE_SOURCE_DIR) + "/../shared/data/rgbd";
}

TEST(DynamicCloudDetectorRealFrames, StillDiningRoomIsStill)
{
  const std::string dir = DataDir() + "/dining_room";
  std::ifstream poses(dir + "/pose.txt");
  if (!poses) {
    GTEST_SKIP() << "no recorded frames in " << dir;
  }
  const float fx = 518.0F, fy = 519.0F, cx = 325.5F, cy = 253.5F, max_depth = 4.0F;
  Eigen::Matrix3f k;
  k << fx, 0.0F, cx, 0.0F, fy, cy, 0.0F, 0.0F, 1.0F;
  // These frames lie up to 0.4 m and 25 degrees apart, beyond what the detector compares
  // by default at a camera's frame rate; widened so that they are compared at all.
  DynamicCloudDetector detector{YAML::Load("{max_baseline: 1.0, max_rotation: 1.0}")};
  // The camera itself stands for the base: the recorded poses are camera poses.
  ASSERT_TRUE(detector.Init(Eigen::Matrix4f::Identity(), k, 640, 480, max_depth));
  long judged = 0;
  long moving_total = 0;
  for (int frame = 1; frame <= 5; ++frame) {
    geometry_msgs::msg::Pose pose;
    ASSERT_TRUE(poses >> pose.position.x >> pose.position.y >> pose.position.z >>
                pose.orientation.x >> pose.orientation.y >> pose.orientation.z >>
                pose.orientation.w);
    const cv::Mat raw = cv::imread(dir + "/depth/" + std::to_string(frame) + ".pgm",
                                   cv::IMREAD_ANYDEPTH);
    ASSERT_EQ(raw.type(), CV_16UC1);
    cv::Mat depth;
    raw.convertTo(depth, CV_32FC1, 0.001);
    auto cloud = std::make_shared<Cloud>();
    for (int v = 0; v < depth.rows; v += 2) {
      for (int u = 0; u < depth.cols; u += 2) {
        const float d = depth.at<float>(v, u);
        if (d > 0.0F && d < max_depth) {
          cloud->push_back(pcl::PointXYZ((u - cx) * d / fx, (v - cy) * d / fy, d));
        }
      }
    }
    detector.Update(cloud, depth, pose);
    Cloud moving;
    Cloud still;
    detector.DivideCloud(*cloud, moving, still);
    if (frame > 1) {
      judged += static_cast<long>(cloud->size());
      moving_total += static_cast<long>(moving.size());
    }
  }
  ASSERT_GT(judged, 0);
  const double fraction = static_cast<double>(moving_total) / static_cast<double>(judged);
  std::printf("still room: %.3f %% of %ld points called moving\n", 100.0 * fraction, judged);
  EXPECT_LT(fraction, 0.01);
}

}  // namespace
