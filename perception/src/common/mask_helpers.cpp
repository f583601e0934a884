#include "pelorin/perception/pixel_geometry.hpp"

#include <cmath>
#include <cstdint>

namespace {

bool isMask(const cv::Mat& mask) {
  return !mask.empty() && mask.type() == CV_8UC1 && mask.dims == 2;
}

bool inside(const cv::Mat& mask, const cv::Point& point) {
  return point.x >= 0 && point.y >= 0 && point.x < mask.cols && point.y < mask.rows;
}

}  // namespace

float maskIou(const cv::Mat& first, const cv::Mat& second, int base) {
  if (!isMask(first) || !isMask(second) || first.size() != second.size()) {
    return 0.0f;
  }
  int64_t first_count = 0;
  int64_t second_count = 0;
  int64_t common = 0;
  for (int row = 0; row < first.rows; ++row) {
    const uint8_t* a = first.ptr<uint8_t>(row);
    const uint8_t* b = second.ptr<uint8_t>(row);
    for (int col = 0; col < first.cols; ++col) {
      const int in_a = a[col] != 0;
      const int in_b = b[col] != 0;
      first_count += in_a;
      second_count += in_b;
      common += in_a & in_b;
    }
  }
  int64_t divisor = 0;
  switch (base) {
    case pelorin::perception::kOverlapOfFirst: divisor = first_count; break;
    case pelorin::perception::kOverlapOfSecond: divisor = second_count; break;
    case pelorin::perception::kOverlapOfUnion: divisor = first_count + second_count - common; break;
    default: return 0.0f;
  }
  if (common == 0 || divisor == 0) {
    return 0.0f;
  }
  return static_cast<float>(static_cast<double>(common) / static_cast<double>(divisor));
}

void pixelToMask(const std::vector<cv::Point>& pixels, cv::Mat& mask) {
  if (!isMask(mask)) {
    return;
  }
  for (const cv::Point& pixel : pixels) {
    if (inside(mask, pixel)) {
      mask.at<uint8_t>(pixel.y, pixel.x) = 255;
    }
  }
}

bool isPointInMask(const cv::Mat& mask, const cv::Point& point) {
  return isMask(mask) && inside(mask, point) && mask.at<uint8_t>(point.y, point.x) != 0;
}

int clamp(float value, int low, int high) {
  // Compared as doubles: every int is exact there, so the cast below never
  // leaves the int range.
  const double v = value;
  if (std::isnan(v) || high < low || v <= low) {
    return low;
  }
  if (v >= high) {
    return high;
  }
  return static_cast<int>(v);
}
