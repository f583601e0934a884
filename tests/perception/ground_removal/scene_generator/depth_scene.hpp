#pragma once

#include <cstdint>
#include <vector>

#include <Eigen/Geometry>
#include <pcl/point_cloud.h>
#include <pcl/point_types.h>

#include "pelorin/perception/records.hpp"

// Synthetic depth-camera views of a floor with a ramp and boxes, with the
// true surface of every point, for judging ground removal and clustering.
namespace ground_scene {

// Surface labels; boxes are numbered from kFirstBox in scene order.  A voxel
// that merges returns of several surfaces has no single truth: kMixed.
constexpr int kMixed = -1;
constexpr int kFloor = 0;
constexpr int kRamp = 1;
constexpr int kFirstBox = 2;

// Axis-aligned box standing on the flat floor (base frame).
struct Box {
  float x_min, x_max, y_min, y_max, height;
};

// The floor rises at `angle` for x >= x_start, across the whole width.
struct Ramp {
  bool present = false;
  float x_start = 0.0f;
  float angle = 0.0f;
};

struct Scene {
  Ramp ramp;
  std::vector<Box> boxes;
};

// A forward-looking depth camera on the robot, pitched down.
struct Camera {
  int width = 640;
  int height = 400;
  float fx = 380.0f, fy = 380.0f, cx = 319.5f, cy = 199.5f;
  float x = 0.10f;             // ahead of the base origin
  float mount_height = 0.35f;  // above the floor
  float pitch = 0.45f;         // radians, down
  float depth_noise = 0.005f;  // standard deviation along the ray, metres
  float max_depth = 2.0f;      // farther pixels have no depth
  int stride = 2;              // one pixel per stride x stride block
};

struct LabelledCloud {
  pcl::PointCloud<pcl::PointXYZ> cloud;
  std::vector<int> labels;  // one per point
};

// Camera optical frame (x right, y down, z forward) to base frame.
Eigen::Affine3f cameraToBase(const Camera& camera);

// The camera's cloud in its optical frame, with depth noise.
LabelledCloud renderDepthCloud(const Scene& scene, const Camera& camera, uint32_t seed);

// Voxel grid of `leaf` edge keeping voxels with at least `min_points`:
// centroid of each voxel, labelled with the surface all its points hit, or
// kMixed.
LabelledCloud voxelDownsample(const LabelledCloud& input, float leaf, int min_points);

// Render, voxel-sample in the camera frame and move to the base frame: the
// cloud a node hands to ground removal.
LabelledCloud baseFrameCloud(const Scene& scene, const Camera& camera, uint32_t seed, float leaf);

// Flat floor with boxes of 3 cm to 60 cm, a person-sized box and small
// clutter near the robot.
Scene clutteredRoom();
// A 0.15 rad ramp ahead with a few boxes on the flat floor before it.
Scene rampAhead();

// Ground-removal settings we drive with, for a camera mounted like `camera`.
pelorin::perception::GroundRemovalParams groundParamsFor(const Camera& camera);

}  // namespace ground_scene
