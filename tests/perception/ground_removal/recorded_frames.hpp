#pragma once

#include <string>
#include <vector>

#include <opencv2/core.hpp>
#include <pcl/point_cloud.h>
#include <pcl/point_types.h>

// The recorded RGB-D frames next to the repository, as camera-frame clouds.
namespace recorded {

struct Intrinsics {
  float fx, fy, cx, cy;
};

struct DepthFrame {
  std::string name;      // e.g. "dining_room/3"
  std::string scene;     // "dining_room" or "office_tum"
  std::string path;      // depth image file
  float units_per_metre; // depth value of one metre
  Intrinsics intrinsics;
};

// The data folder: $QUORVANE_RGBD_DATA, else ../shared/data/rgbd beside the
// source tree.  Empty when it does not exist.
std::string dataFolder();

// Every depth frame of the folder.
std::vector<DepthFrame> listFrames(const std::string& folder);

// The frame's depth image in metres (CV_32FC1, 0: no depth); empty when the
// image cannot be read.
cv::Mat loadDepth(const DepthFrame& frame);

// A depth image in metres as a camera-frame cloud (x right, y down, z
// forward), the first pixel of each stride x stride block, depths in
// (0, max_depth).
pcl::PointCloud<pcl::PointXYZ> cloudOf(const cv::Mat& metres, const Intrinsics& k, int stride, float max_depth);

// The frame's depth as a camera-frame cloud (x right, y down, z forward), one
// point per stride x stride block, depths in (0, max_depth).  Empty when the
// image cannot be read.
pcl::PointCloud<pcl::PointXYZ> loadCloud(const DepthFrame& frame, int stride, float max_depth);

}  // namespace recorded
