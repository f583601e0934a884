#include "ground_settings.hpp"

namespace ground_test
{

scene::Camera groundCamera(float mount_height, float pitch, uint32_t seed)
{
  scene::Camera camera;
  camera.base_from_optical = scene::mountPose(0.1f, mount_height, pitch);
  camera.noise.sigma = 0.005f;
  camera.noise.seed = seed;
  camera.max_depth = 2.0f;
  return camera;
}

pelorin::perception::GroundRemovalParams groundParamsFor(const scene::Camera & camera)
{
  pelorin::perception::GroundRemovalParams p;
  p.segmentation_angular_resolution = 0.1f;
  p.point_cloud_max_range = camera.max_depth;
  p.point_cloud_min_range = 0.45f;
  p.segmentation_bin_len = 0.05f;
  p.cam_height = camera.base_from_optical.translation().z();
  p.max_lsq_residual = 0.01f;
  p.min_slope = 0.0f;
  p.max_slope = 0.2f;
  p.max_height_diff_for_start_up = 0.05f;
  p.max_height_diff_for_start_down = 0.13f;
  p.max_dist_point_groundline = 0.02f;
  p.long_threshold = 0.3f;
  p.max_height_diff_for_front = 0.02f;
  p.x_distance_need_preprocess = 1.0f;
  p.z_distance_need_remove = 0.05f;
  p.max_obstacle_height = 0.666f;
  p.diluting_threshold = 0.0f;
  p.noise_nsigma = 4.0f;
  return p;
}

}  // namespace ground_test
