#include "truncated_spread.hpp"

#include <algorithm>
#include <array>
#include <cmath>

namespace pelorin::perception::ground {
namespace {

constexpr double kMaxSpreadInWidths = 4.0;
constexpr double kWidestAlpha = 12.0;  // beyond it the window keeps all but 1e-30
constexpr int kTableSize = 256;

// Standard deviation, in units of the full one, of a normal distribution cut
// to +-alpha deviations, divided by alpha: the window's deviation in half
// widths.  Falls from 1/sqrt(3) (alpha -> 0) towards 0.
double windowRatio(double alpha) {
  const double pdf = std::exp(-0.5 * alpha * alpha) / std::sqrt(2.0 * M_PI);
  const double mass = std::erf(alpha / std::sqrt(2.0));
  return std::sqrt(std::max(0.0, 1.0 - 2.0 * alpha * pdf / mass)) / alpha;
}

struct RatioTable {
  std::array<double, kTableSize> alpha;
  std::array<double, kTableSize> ratio;  // decreasing
  RatioTable() {
    const double first = 1.0 / kMaxSpreadInWidths;
    for (int i = 0; i < kTableSize; ++i) {
      alpha[i] = first * std::pow(kWidestAlpha / first, static_cast<double>(i) / (kTableSize - 1));
      ratio[i] = windowRatio(alpha[i]);
    }
  }
};

}  // namespace

float spreadFromWindow(float window_sd, float half_width) {
  if (!(half_width > 0.0f) || !(window_sd > 0.0f)) {
    return window_sd > 0.0f ? window_sd : 0.0f;
  }
  static const RatioTable table;
  const double ratio = static_cast<double>(window_sd) / half_width;
  if (ratio >= table.ratio.front()) {
    return static_cast<float>(kMaxSpreadInWidths * half_width);
  }
  if (ratio <= table.ratio.back()) {
    return window_sd;  // the window holds the whole distribution
  }
  const auto it = std::lower_bound(table.ratio.rbegin(), table.ratio.rend(), ratio);
  const int hi = static_cast<int>(table.ratio.rend() - it) - 1;  // ratio[hi] >= ratio > ratio[hi + 1]
  const int lo = std::min(hi + 1, kTableSize - 1);
  const double span = table.ratio[hi] - table.ratio[lo];
  const double t = span > 0.0 ? (table.ratio[hi] - ratio) / span : 0.0;
  const double alpha = table.alpha[hi] + t * (table.alpha[lo] - table.alpha[hi]);
  return static_cast<float>(half_width / alpha);
}

}  // namespace pelorin::perception::ground
