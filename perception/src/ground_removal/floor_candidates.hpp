#pragma once

#include <cstdint>
#include <vector>

#include <pcl/point_cloud.h>
#include <pcl/point_types.h>

#include "polar_grid.hpp"
#include "segment_line_fitter.hpp"

namespace pelorin::perception::ground {

// The floor sample of every (segment, bin) cell of a cloud, and how noisy the
// floor is there.  Buffers are kept between frames.
class FloorCandidates {
 public:
  void resize(const PolarGrid& grid);

  // `range` and `position` hold each point's horizontal range (NaN for a
  // point to skip) and segment position.  `band` is the ground band.
  void sample(const pcl::PointCloud<pcl::PointXYZ>& cloud, const std::vector<float>& range,
              const std::vector<float>& position, const PolarGrid& grid, float band);

  // Cell s * bins + b.
  const std::vector<Candidate>& candidates() const { return candidates_; }
  // Standard deviation of the floor's heights around the cell.
  float noise(std::size_t cell) const { return noise_[cell]; }

 private:
  struct Band {
    float low;
    float high;
  };
  struct Sums {
    double range = 0.0, height = 0.0, x = 0.0, y = 0.0;
    uint32_t count = 0;
    // Squared depths below the band's middle, which obstacles standing on the
    // floor cannot reach.
    double below2 = 0.0;
    uint32_t below = 0;
  };

  void lowestBands(const pcl::PointCloud<pcl::PointXYZ>& cloud, float band);
  void meanOfBands(const pcl::PointCloud<pcl::PointXYZ>& cloud, const std::vector<float>& range, float half_width);
  void steadyNoise(const PolarGrid& grid);

  std::vector<int32_t> cell_;  // per point: its cell, -1 for none
  std::vector<Band> bands_;
  std::vector<Sums> sums_;
  std::vector<Candidate> candidates_;
  std::vector<float> noise_;
};

}  // namespace pelorin::perception::ground
