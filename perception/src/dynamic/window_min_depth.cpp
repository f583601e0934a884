#include "window_min_depth.hpp"

#include <algorithm>
#include <limits>

namespace pelorin
{
namespace perception
{

float WindowMinDepth(const cv::Mat& depth, int row, int col, int radius)
{
  radius = std::max(radius, 0);
  const int top = std::max(row - radius, 0);
  const int bottom = std::min(row + radius, depth.rows - 1);
  const int left = std::max(col - radius, 0);
  const int right = std::min(col + radius, depth.cols - 1);
  float lowest = std::numeric_limits<float>::max();
  bool hole = false;
  for (int r = top; r <= bottom; ++r) {
    const float* pixels = depth.ptr<float>(r);
    for (int c = left; c <= right; ++c) {
      const float d = pixels[c];
      // NaN fails both.
      hole |= !(d > 0.0F && d <= std::numeric_limits<float>::max());
      lowest = std::min(lowest, d);
    }
  }
  return hole ? 0.0F : lowest;
}

}  // namespace perception
}  // namespace pelorin
