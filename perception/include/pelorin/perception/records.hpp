#pragma once

#include <cstdint>

#include <Eigen/Core>

namespace pelorin::perception {

// Settings of the line-fitting ground remover.  The defaults are the ones the
// robot drives with; the node overrides them per camera.  The order of the
// fields is part of the interface: callers fill the record positionally.
struct GroundRemovalParams {
  float segmentation_angular_resolution = 0.2f;
  float point_cloud_max_range = 2.0f;            // metres
  float point_cloud_min_range = 0.45f;           // metres
  float segmentation_bin_len = 0.05f;            // metres per range bin
  float cam_height = 0.05f;                      // metres above the floor
  float max_lsq_residual = 0.15f;
  float min_slope = 0.0f;
  float max_slope = 0.2f;
  float max_height_diff_for_start_up = 0.05f;
  float max_height_diff_for_start_down = 0.13f;
  float max_dist_point_groundline = 0.045f;
  float long_threshold = 0.2f;
  float max_height_diff_for_front = 0.04f;
  float x_distance_need_preprocess = 1.0f;
  float z_distance_need_remove = 0.05f;
  float max_obstacle_height = 0.666f;
  float diluting_threshold = 0.03f;
  float noise_nsigma = 4.0f;
};

// Settings of the occupancy-grid clustering (see CloudCluster).
struct CloudClusterPara {
  float grid_step = 0.1f;       // cell edge, metres
  int32_t grid_kernelSize = 3;  // window edge, cells; cells whose windows overlap join
  int32_t grid_th = 2;          // fewer points than this make a cell noise
};

// Per-pixel floor lookup of the colour camera: where each pixel's viewing ray
// meets the floor, in the base frame.  Built once by its owner.
struct RgbDetector {
  // 3 x (width * height); column v * width + u holds (x, y, z) of pixel (u, v).
  Eigen::MatrixXf ground_points;
  int32_t width = 0;
  int32_t height = 0;
  float ground_height = 0.0f;  // z of the floor plane, metres
};

}  // namespace pelorin::perception
