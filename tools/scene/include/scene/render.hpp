#pragma once

#include <cstddef>

#include <Eigen/Geometry>
#include <opencv2/core.hpp>

#include "scene/scene.hpp"

namespace scene
{

// What one camera sees at one time.
struct Frame
{
  double t = 0.0;
  Eigen::Isometry3f odom_from_base = Eigen::Isometry3f::Identity();
  cv::Mat depth;   // CV_32FC1 metres along the optical axis, 0: no return
  cv::Mat colour;  // CV_8UC3 rgb8, on the depth pixel grid
  cv::Mat ids;     // CV_32SC1 surface hit, whatever the range: an object or patch id, kFloor, ...
};

// Ray casting of every pixel, with the camera's noise.  Objects move with
// their velocity to time t.  Throws std::invalid_argument for an id <= 0
// among objects or patches.
Frame render(const Room & room, const Camera & camera,
  const Eigen::Isometry3f & odom_from_base = Eigen::Isometry3f::Identity(), double t = 0.0);
// Camera `camera` of the scene with the robot where its path puts it at t.
Frame render(const Scene & scene, std::size_t camera, double t);

// Depth in whole millimetres (CV_16UC1, "16UC1"), 0 staying 0.
cv::Mat millimetres(const cv::Mat & metres);

}  // namespace scene
