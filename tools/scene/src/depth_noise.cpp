#include "depth_noise.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

namespace scene::detail
{
namespace
{

uint64_t splitMix(uint64_t z)
{
  z += 0x9e3779b97f4a7c15ULL;
  z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
  z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
  return z ^ (z >> 31);
}

constexpr int kQuantiles = 4096;

// Standard normal quantiles at i / kQuantiles, the two ends pulled in to
// 1/4 of a step: tails end near 3.7 sigma, which no test relies on.
const std::array<float, kQuantiles + 1> & normalQuantiles()
{
  static const std::array<float, kQuantiles + 1> table = [] {
      std::array<float, kQuantiles + 1> q{};
      for (int i = 0; i <= kQuantiles; ++i) {
        const double p = std::clamp(static_cast<double>(i) / kQuantiles, 0.25 / kQuantiles, 1.0 - 0.25 / kQuantiles);
        double lo = -10.0, hi = 10.0;  // bisection on the distribution function
        for (int step = 0; step < 60; ++step) {
          const double mid = 0.5 * (lo + hi);
          (0.5 * std::erfc(-mid / std::sqrt(2.0)) < p ? lo : hi) = mid;
        }
        q[static_cast<std::size_t>(i)] = static_cast<float>(0.5 * (lo + hi));
      }
      return q;
    }();
  return table;
}

// Standard normal from 32 random bits, interpolating the quantiles.
float gaussian(uint32_t bits, const std::array<float, kQuantiles + 1> & q)
{
  const uint32_t i = bits >> 20;
  const float fraction = static_cast<float>(bits & 0xfffff) * (1.0f / (1 << 20));
  return q[i] + fraction * (q[i + 1] - q[i]);
}

}  // namespace

void addDepthNoise(cv::Mat & depth, const Camera & camera, double t)
{
  const DepthNoise & n = camera.noise;
  if (n.sigma <= 0.0f && n.sigma_per_m2 <= 0.0f && n.hole_fraction <= 0.0f) {return;}
  const auto & q = normalQuantiles();
  uint64_t time_bits = 0;
  std::memcpy(&time_bits, &t, sizeof time_bits);
  const uint64_t key = splitMix(splitMix(n.seed) ^ time_bits);
  // A hole where the top 24 bits fall below this.
  const auto hole_below = static_cast<uint64_t>(static_cast<double>(n.hole_fraction) * (1 << 24));
  auto * d = depth.ptr<float>();
  const std::size_t size = depth.total();
  for (std::size_t i = 0; i < size; ++i) {
    if (d[i] <= 0.0f) {continue;}
    const uint64_t r = splitMix(key + i);
    if ((r >> 40) < hole_below) {
      d[i] = 0.0f;
      continue;
    }
    d[i] += (n.sigma + n.sigma_per_m2 * d[i] * d[i]) * gaussian(static_cast<uint32_t>(r), q);
    if (!(d[i] > 0.0f && d[i] < camera.max_depth)) {d[i] = 0.0f;}
  }
}

}  // namespace scene::detail
