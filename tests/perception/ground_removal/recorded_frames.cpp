#include "recorded_frames.hpp"

#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

namespace recorded {
namespace {

// Median of the non-zero depths, in image units.
double medianDepth(const cv::Mat& depth) {
  std::vector<uint16_t> values;
  for (int v = 0; v < depth.rows; v += 4) {
    for (int u = 0; u < depth.cols; u += 4) {
      if (const uint16_t d = depth.at<uint16_t>(v, u)) values.push_back(d);
    }
  }
  if (values.empty()) return 0.0;
  std::nth_element(values.begin(), values.begin() + values.size() / 2, values.end());
  return values[values.size() / 2];
}

// A 16-bit PGM stores its samples big-endian; should a decoder hand them
// over unswapped, a room's median depth lands far outside 0.3 .. 10 m.
void fixByteOrder(cv::Mat& depth, float units_per_metre) {
  const auto plausible = [&](const cv::Mat& image) {
    const double metres = medianDepth(image) / units_per_metre;
    return metres > 0.3 && metres < 10.0;
  };
  if (plausible(depth)) return;
  cv::Mat swapped = depth.clone();
  for (int v = 0; v < swapped.rows; ++v) {
    for (int u = 0; u < swapped.cols; ++u) {
      uint16_t& d = swapped.at<uint16_t>(v, u);
      d = static_cast<uint16_t>((d >> 8) | (d << 8));
    }
  }
  if (plausible(swapped)) depth = swapped;
}

}  // namespace

std::string dataFolder() {
  const char* env = std::getenv("QUORVANE_RGBD_DATA");
  const std::string folder = env != nullptr ? env : std::string(QUORVANE_SOURCE_DIR) + "/../shared/data/rgbd";
  return std::filesystem::is_directory(folder) ? folder : std::string();
}

std::vector<DepthFrame> listFrames(const std::string& folder) {
  std::vector<DepthFrame> frames;
  for (int i = 1; i <= 5; ++i) {
    const std::string path = folder + "/dining_room/depth/" + std::to_string(i) + ".pgm";
    if (std::filesystem::exists(path)) {
      frames.push_back({"dining_room/" + std::to_string(i), "dining_room", path, 1000.0f,
                        {518.0f, 519.0f, 325.5f, 253.5f}});
    }
  }
  const std::string tum = folder + "/office_tum/depth.png";
  if (std::filesystem::exists(tum)) {
    frames.push_back({"office_tum", "office_tum", tum, 5000.0f, {525.0f, 525.0f, 319.5f, 239.5f}});
  }
  return frames;
}

cv::Mat loadDepth(const DepthFrame& frame) {
  cv::Mat depth = cv::imread(frame.path, cv::IMREAD_UNCHANGED);
  if (depth.empty() || depth.type() != CV_16UC1) return cv::Mat();
  fixByteOrder(depth, frame.units_per_metre);
  cv::Mat metres;
  depth.convertTo(metres, CV_32F, 1.0 / frame.units_per_metre);
  return metres;
}

pcl::PointCloud<pcl::PointXYZ> cloudOf(const cv::Mat& metres, const Intrinsics& k, int stride, float max_depth) {
  pcl::PointCloud<pcl::PointXYZ> cloud;
  for (int v = 0; v < metres.rows; v += stride) {
    for (int u = 0; u < metres.cols; u += stride) {
      const float d = metres.at<float>(v, u);
      if (d > 0.0f && d < max_depth) {
        cloud.push_back(pcl::PointXYZ((u - k.cx) * d / k.fx, (v - k.cy) * d / k.fy, d));
      }
    }
  }
  return cloud;
}

pcl::PointCloud<pcl::PointXYZ> loadCloud(const DepthFrame& frame, int stride, float max_depth) {
  return cloudOf(loadDepth(frame), frame.intrinsics, stride, max_depth);
}

}  // namespace recorded
