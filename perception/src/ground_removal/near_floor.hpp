#pragma once

#include <array>
#include <vector>

#include <pcl/point_cloud.h>
#include <pcl/point_types.h>

namespace pelorin::perception::ground {

// The floor as seen just in front of the robot, overall and in slices of x
// (the nearer, the steeper the view and the noisier the heights).
struct NearFloor {
  static constexpr int kSlices = 4;
  bool measured = false;  // false: too few samples, height 0 and spread 0
  float height = 0.0f;    // median z of the samples
  float spread = 0.0f;    // robust standard deviation (scaled median absolute deviation)
  float near_x = 0.0f;
  std::array<float, kSlices> slice_spread{};  // the spread per slice, else the overall one

  float spreadAt(float x) const;
};

// Samples the points with 0 <= x < near_x and |z| <= band.  `scratch` is
// working memory kept by the caller between frames.
NearFloor measureNearFloor(const pcl::PointCloud<pcl::PointXYZ>& cloud, float near_x, float band,
                           std::vector<float>& scratch);

}  // namespace pelorin::perception::ground
