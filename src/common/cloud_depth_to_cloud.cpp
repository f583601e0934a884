#include <algorithm>
#include <cstdint>

#include <opencv2/core.hpp>

#include "cv_bridge/cv_bridge.h"
#include "quorvane_object_detect/cloud.hpp"
#include "quorvane_object_detect/depth_image.hpp"

namespace
{

// The region's pixel rectangle, clipped to the image.
struct PixelWindow
{
  int x1, y1, x2, y2;
};

PixelWindow clipRegion(const BboxInfo & region, int width, int height)
{
  return {
    std::clamp(region.x1, 0, width), std::clamp(region.y1, 0, height),
    std::clamp(region.x2, 0, width), std::clamp(region.y2, 0, height)};
}

// Depth in metres of one pixel, scaled as a float conversion with that factor
// would scale it.
template<typename Pixel>
float metres(const cv::Mat & depth, int row, int column, double scale)
{
  return static_cast<float>(static_cast<double>(depth.ptr<Pixel>(row)[column]) * scale);
}

template<typename Pixel>
void project(
  const cv::Mat & depth, double scale, const std::array<float, 4> & k, const PixelWindow & w,
  const cv::Mat & mask, float depth_max, int stride, pcl::PointCloud<pcl::PointXYZ> & cloud)
{
  const float fx = k[0];
  const float fy = k[1];
  const float cx = k[2];
  const float cy = k[3];
  const bool masked = !mask.empty();
  // Only the pixels the mask itself holds can be set; the rest count as unset.
  const auto inMask = [&mask](int row, int column) {
      return row < mask.rows && column < mask.cols && mask.ptr<uint8_t>(row)[column] != 0;
    };
  const int rows = (stride + (w.y2 - w.y1) - 1) / stride;
  const int columns = (stride + (w.x2 - w.x1) - 1) / stride;
  cloud.resize(static_cast<std::size_t>(std::max(rows, 0)) * std::max(columns, 0));
  std::size_t taken = 0;
  for (int r = 0; r < rows; ++r) {
    const int v_begin = std::min(w.y1 + r * stride, w.y2);
    const int v_end = std::min(w.y1 + (r + 1) * stride, w.y2);
    for (int c = 0; c < columns; ++c) {
      const int u_begin = std::min(w.x1 + c * stride, w.x2);
      const int u_end = std::min(w.x1 + (c + 1) * stride, w.x2);
      bool found = false;
      for (int v = v_begin; v < v_end && !found; ++v) {
        for (int u = u_begin; u < u_end; ++u) {
          const float d = metres<Pixel>(depth, v, u, scale);
          if (!(d > 0.0F && d < depth_max) || (masked && !inMask(v, u))) {
            continue;
          }
          pcl::PointXYZ & point = cloud.points[taken++];
          point.x = (static_cast<float>(u) - cx) * d / fx;
          point.y = (static_cast<float>(v) - cy) * d / fy;
          point.z = d;
          found = true;
          break;
        }
      }
    }
  }
  cloud.resize(taken);
  cloud.width = static_cast<uint32_t>(taken);
  cloud.height = 1;
}

}  // namespace

void Cloud::depthToCloud(
  const sensor_msgs::msg::Image::ConstSharedPtr & depth_msg,
  const std::array<float, 4> & intrinsics, const BboxInfo & region,
  const std::shared_ptr<pcl::PointCloud<pcl::PointXYZ>> & cloud, int stride) const
{
  // Shares the message's pixels; cv_bridge has checked size and step.
  const cv::Mat depth = cv_bridge::toCvShare(depth_msg, depth_msg->encoding)->image;
  const double scale = depthScale(depth_msg->encoding);
  const PixelWindow window = clipRegion(region, depth.cols, depth.rows);
  stride = std::max(stride, 1);
  const float depth_max = cloud_para_.depth_max;
  switch (depth.type()) {
    case CV_16UC1:
      project<uint16_t>(depth, scale, intrinsics, window, region.mask, depth_max, stride, *cloud);
      break;
    case CV_32FC1:
      project<float>(depth, scale, intrinsics, window, region.mask, depth_max, stride, *cloud);
      break;
    default: {
        // Any other single-channel depth is converted once to float.
        cv::Mat converted;
        depth.convertTo(converted, CV_32F);
        if (converted.channels() != 1) {
          throw cv_bridge::Exception(
                  "depth image \"" + depth_msg->encoding + "\" has more than one channel");
        }
        project<float>(
          converted, scale, intrinsics, window, region.mask, depth_max, stride, *cloud);
      }
  }
}
