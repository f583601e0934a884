#pragma once

#include <limits>
#include <vector>

#include <Eigen/Geometry>
#include <pcl/point_cloud.h>
#include <pcl/point_types.h>

#include "scene/camera.hpp"
#include "scene/render.hpp"

// Clouds of a rendered frame, each point with the surface it came from.
namespace scene
{

struct LabelledCloud
{
  pcl::PointCloud<pcl::PointXYZ> cloud;
  std::vector<int> labels;  // one per point: a surface id or kMixed
};

// Optical-frame points of every stride-th pixel of every stride-th row whose
// depth lies in (0, max_depth).
LabelledCloud depthCloud(const Frame & frame, const Camera & camera, int stride = 1,
  float max_depth = std::numeric_limits<float>::infinity());

// Voxel grid of `leaf` edge keeping voxels of at least `min_points`: the
// centroid of each, labelled with the surface all its points lie on, or kMixed.
LabelledCloud voxelDownsample(const LabelledCloud & input, float leaf, int min_points);

LabelledCloud transformed(LabelledCloud input, const Eigen::Isometry3f & pose);

// The points at height z or above (roughly what a ground remover leaves).
LabelledCloud keepAbove(const LabelledCloud & input, float z);

// The cloud a node hands to ground removal: pixels at `stride`, voxel-sampled
// in the camera frame, moved to base_footprint.
LabelledCloud baseFrameCloud(const Frame & frame, const Camera & camera, int stride, float leaf);

}  // namespace scene
