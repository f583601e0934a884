#pragma once

#include <cstdint>
#include <string>

#include <Eigen/Geometry>

namespace scene
{

struct Intrinsics
{
  int width = 640;
  int height = 400;
  float fx = 380.0f;
  float fy = 380.0f;
  float cx = 319.5f;
  float cy = 199.5f;

  // [fx 0 cx; 0 fy cy; 0 0 1]
  Eigen::Matrix3f K() const;
};

// Gaussian depth noise of standard deviation sigma + sigma_per_m2 * depth^2,
// and holes (depth 0) at a random share of the pixels.  Each frame draws
// from `seed` and its time, so a frame renders the same every time.  All
// zero: exact depth.
struct DepthNoise
{
  float sigma = 0.0f;
  float sigma_per_m2 = 0.0f;
  float hole_fraction = 0.0f;
  uint32_t seed = 1;
};

// Noise and holes as a structured-light camera gives them indoors.
DepthNoise structuredLightNoise(uint32_t seed);

// The optical frame (x right, y down, z forward) in base_footprint, for a
// camera `forward` and `left` of the base origin, `height` above the floor,
// looking along the base x axis turned by `yaw` and tilted down by `pitch_down`.
Eigen::Isometry3f mountPose(float forward, float height, float pitch_down, float yaw = 0.0f,
  float left = 0.0f);

// A registered RGB-D camera: colour and depth share the pixel grid and frame.
struct Camera
{
  std::string frame_id = "camera_01_depth_optical_frame";
  Intrinsics intrinsics;
  Eigen::Isometry3f base_from_optical = mountPose(0.1f, 0.35f, 0.45f);
  DepthNoise noise;
  float max_depth = 4.0f;  // farther surfaces give no depth
};

}  // namespace scene
