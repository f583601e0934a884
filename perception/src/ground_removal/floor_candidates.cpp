#include "floor_candidates.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

#include "truncated_spread.hpp"

namespace pelorin::perception::ground {
namespace {

// A bin needs this many floor-band points to offer a candidate.
constexpr uint32_t kMinBandPoints = 2;
// Bins either side whose floor noise a bin's noise estimate looks at.
constexpr int kNoiseReach = 2;

constexpr float kInf = std::numeric_limits<float>::infinity();

}  // namespace

void FloorCandidates::resize(const PolarGrid& grid) {
  const std::size_t cells = static_cast<std::size_t>(grid.segments) * grid.bins;
  bands_.resize(cells);
  sums_.resize(cells);
  candidates_.resize(cells);
  noise_.resize(cells);
}

void FloorCandidates::sample(const pcl::PointCloud<pcl::PointXYZ>& cloud, const std::vector<float>& range,
                             const std::vector<float>& position, const PolarGrid& grid, float band) {
  // Each point's cell once, for the three passes below.
  cell_.resize(cloud.size());
  for (std::size_t i = 0; i < cloud.size(); ++i) {
    const int b = grid.binOf(range[i]);  // -1 also for NaN
    cell_[i] = b < 0 ? -1 : grid.segmentOf(position[i]) * grid.bins + b;
  }
  // The floor band of each bin starts at its lowest point; its mean is then
  // taken again over a band centred on it, which undoes the pull of the noise
  // below the floor that the lowest point sits in.
  lowestBands(cloud, band);
  meanOfBands(cloud, range, 0.5f * band);
  for (std::size_t cell = 0; cell < bands_.size(); ++cell) {
    if (candidates_[cell].valid) {
      bands_[cell] = {candidates_[cell].height - band, candidates_[cell].height + band};
    }
  }
  meanOfBands(cloud, range, band);
  steadyNoise(grid);
}

void FloorCandidates::lowestBands(const pcl::PointCloud<pcl::PointXYZ>& cloud, float band) {
  // Lowest and second lowest height per bin.
  std::fill(bands_.begin(), bands_.end(), Band{kInf, kInf});
  for (std::size_t i = 0; i < cloud.size(); ++i) {
    if (cell_[i] < 0) {
      continue;
    }
    Band& low = bands_[static_cast<std::size_t>(cell_[i])];
    const float z = cloud.points[i].z;
    if (z < low.low) {
      low.high = low.low;
      low.low = z;
    } else if (z < low.high) {
      low.high = z;
    }
  }
  // A lowest point far below all others is a stray and does not count.
  for (Band& low : bands_) {
    const float base = low.high - low.low > band ? low.high : low.low;
    low = {base, base + band};
  }
}

void FloorCandidates::meanOfBands(const pcl::PointCloud<pcl::PointXYZ>& cloud, const std::vector<float>& range,
                                  float half_width) {
  std::fill(sums_.begin(), sums_.end(), Sums{});
  for (std::size_t i = 0; i < cloud.size(); ++i) {
    if (cell_[i] < 0) {
      continue;
    }
    const auto cell = static_cast<std::size_t>(cell_[i]);
    const pcl::PointXYZ& pt = cloud.points[i];
    const Band& band = bands_[cell];
    if (pt.z >= band.low && pt.z <= band.high) {
      Sums& s = sums_[cell];
      s.range += range[i];
      s.height += pt.z;
      s.x += pt.x;
      s.y += pt.y;
      ++s.count;
      const float middle = 0.5f * (band.low + band.high);
      if (pt.z < middle) {
        s.below2 += static_cast<double>(middle - pt.z) * (middle - pt.z);
        ++s.below;
      }
    }
  }
  for (std::size_t cell = 0; cell < sums_.size(); ++cell) {
    const Sums& s = sums_[cell];
    Candidate& c = candidates_[cell];
    c.valid = s.count >= kMinBandPoints;
    if (c.valid) {
      c.range = static_cast<float>(s.range / s.count);
      c.height = static_cast<float>(s.height / s.count);
      c.x = static_cast<float>(s.x / s.count);
      c.y = static_cast<float>(s.y / s.count);
      c.spread = s.below > 0 ? spreadFromWindow(static_cast<float>(std::sqrt(s.below2 / s.below)),
                                                half_width)
                             : 0.0f;
    }
  }
}

void FloorCandidates::steadyNoise(const PolarGrid& grid) {
  // Depth noise grows smoothly with range, while an obstacle in a bin makes
  // that bin alone look noisy: each bin takes the median spread around it.
  const int bins = grid.bins;
  float around[2 * kNoiseReach + 1];
  for (int s = 0; s < grid.segments; ++s) {
    const Candidate* c = &candidates_[static_cast<std::size_t>(s) * bins];
    for (int b = 0; b < bins; ++b) {
      int n = 0;
      for (int k = std::max(0, b - kNoiseReach); k <= std::min(bins - 1, b + kNoiseReach); ++k) {
        if (c[k].valid) {
          around[n++] = c[k].spread;
        }
      }
      float& noise = noise_[static_cast<std::size_t>(s) * bins + b];
      noise = 0.0f;
      if (n > 0) {
        std::nth_element(around, around + n / 2, around + n);
        noise = around[n / 2];
      }
    }
  }
}

}  // namespace pelorin::perception::ground
