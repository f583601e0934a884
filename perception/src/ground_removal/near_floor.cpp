#include "near_floor.hpp"

#include <algorithm>
#include <cmath>

namespace pelorin::perception::ground {
namespace {

// Fewer samples say too little about the floor to trust them.
constexpr std::size_t kMinSamples = 20;
// Median absolute deviation to standard deviation of a normal distribution.
constexpr float kMadToSigma = 1.4826f;

float median(std::vector<float>::iterator begin, std::vector<float>::iterator end) {
  const auto middle = begin + (end - begin) / 2;
  std::nth_element(begin, middle, end);
  return *middle;
}

int sliceOf(float x, float near_x) {
  const int s = static_cast<int>(x / near_x * NearFloor::kSlices);
  return std::min(std::max(s, 0), NearFloor::kSlices - 1);
}

}  // namespace

float NearFloor::spreadAt(float x) const {
  return slice_spread[static_cast<std::size_t>(sliceOf(x, near_x))];
}

NearFloor measureNearFloor(const pcl::PointCloud<pcl::PointXYZ>& cloud, float near_x, float band,
                           std::vector<float>& scratch) {
  NearFloor floor;
  floor.near_x = near_x;
  scratch.clear();
  for (const pcl::PointXYZ& p : cloud.points) {
    // The comparisons are false for NaN, so non-finite points drop out.
    if (p.x >= 0.0f && p.x < near_x && std::fabs(p.z) <= band && std::isfinite(p.y)) {
      scratch.push_back(p.z);
    }
  }
  if (scratch.size() < kMinSamples) {
    return floor;
  }
  floor.measured = true;
  floor.height = median(scratch.begin(), scratch.end());
  for (float& z : scratch) {
    z = std::fabs(z - floor.height);
  }
  floor.spread = kMadToSigma * median(scratch.begin(), scratch.end());

  // Per slice, deviations from the overall floor height.
  std::array<std::size_t, NearFloor::kSlices> counts{};
  scratch.clear();
  for (const pcl::PointXYZ& p : cloud.points) {
    if (p.x >= 0.0f && p.x < near_x && std::fabs(p.z) <= band && std::isfinite(p.y)) {
      ++counts[static_cast<std::size_t>(sliceOf(p.x, near_x))];
    }
  }
  std::array<std::size_t, NearFloor::kSlices + 1> start{};
  for (int s = 0; s < NearFloor::kSlices; ++s) {
    start[static_cast<std::size_t>(s) + 1] = start[static_cast<std::size_t>(s)] + counts[static_cast<std::size_t>(s)];
  }
  scratch.resize(start.back());
  std::array<std::size_t, NearFloor::kSlices> next{};
  std::copy(start.begin(), start.end() - 1, next.begin());
  for (const pcl::PointXYZ& p : cloud.points) {
    if (p.x >= 0.0f && p.x < near_x && std::fabs(p.z) <= band && std::isfinite(p.y)) {
      scratch[next[static_cast<std::size_t>(sliceOf(p.x, near_x))]++] = std::fabs(p.z - floor.height);
    }
  }
  for (std::size_t s = 0; s < NearFloor::kSlices; ++s) {
    floor.slice_spread[s] =
        counts[s] >= kMinSamples
            ? kMadToSigma * median(scratch.begin() + static_cast<std::ptrdiff_t>(start[s]),
                                   scratch.begin() + static_cast<std::ptrdiff_t>(start[s + 1]))
            : floor.spread;
  }
  return floor;
}

}  // namespace pelorin::perception::ground
