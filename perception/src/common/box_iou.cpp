#include "pelorin/perception/pixel_geometry.hpp"

#include <algorithm>
#include <cmath>

namespace {

// Edge length of an interval; 0 for an empty or non-finite one.
double extent(double low, double high, double inclusive_extra) {
  const double length = high - low + inclusive_extra;
  return std::isfinite(length) && length > 0.0 ? length : 0.0;
}

}  // namespace

float boxIou(float a_x1, float a_y1, float a_x2, float a_y2,
             float b_x1, float b_y1, float b_x2, float b_y2,
             bool inclusive_corners) {
  const double extra = inclusive_corners ? 1.0 : 0.0;
  // Doubles: products of pixel coordinates stay exact well past image sizes.
  const double area_a = extent(a_x1, a_x2, extra) * extent(a_y1, a_y2, extra);
  const double area_b = extent(b_x1, b_x2, extra) * extent(b_y1, b_y2, extra);
  const double overlap =
      extent(std::max<double>(a_x1, b_x1), std::min<double>(a_x2, b_x2), extra) *
      extent(std::max<double>(a_y1, b_y1), std::min<double>(a_y2, b_y2), extra);
  const double union_area = area_a + area_b - overlap;
  if (!(overlap > 0.0) || !(union_area > 0.0) || !std::isfinite(union_area)) {
    return 0.0f;
  }
  return static_cast<float>(std::min(1.0, overlap / union_area));
}
