#pragma once

// A room of axis-aligned boxes, rendered to depth images by ray casting, and the
// camera-to-cloud conversion of the node, for testing the moving-point detector.

#include <random>
#include <vector>

#include <Eigen/Geometry>
#include <opencv2/core.hpp>
#include <pcl/point_cloud.h>
#include <pcl/point_types.h>

namespace scene
{

struct Box
{
  Eigen::Vector3f min;
  Eigen::Vector3f max;
  int id;
};

struct Camera
{
  int width;
  int height;
  float fx, fy, cx, cy;
  Eigen::Matrix3f K() const;
};

struct Rendering
{
  cv::Mat depth;  // CV_32FC1, metres along the optical axis; 0 where nothing is hit
  cv::Mat ids;    // CV_32SC1, id of the surface hit
};

// The room is the inside of `room` (id room.id); boxes are solid.
Rendering Render(const Box& room, const std::vector<Box>& boxes, const Camera& camera,
                 const Eigen::Isometry3f& world_from_cam);

// Gaussian depth noise growing with range and random holes, as a structured-light camera gives.
void AddSensorNoise(cv::Mat& depth, float hole_fraction, std::mt19937& random);

// Cloud of the base frame from every `stride`-th pixel, keeping points above the floor
// (what ground removal leaves) within max_depth; ids receives each point's surface id.
pcl::PointCloud<pcl::PointXYZ> ObstacleCloud(const Rendering& rendering, const cv::Mat& depth,
                                             const Camera& camera,
                                             const Eigen::Isometry3f& base_from_cam, int stride,
                                             float max_depth, std::vector<int>& ids);

// Camera looking along the base x axis from `height` above the floor, tilted down.
Eigen::Isometry3f BaseFromCamera(float forward, float height, float tilt_down_rad);

}  // namespace scene
