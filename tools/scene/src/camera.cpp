#include "scene/camera.hpp"

namespace scene
{

Eigen::Matrix3f Intrinsics::K() const
{
  Eigen::Matrix3f k;
  k << fx, 0.0f, cx, 0.0f, fy, cy, 0.0f, 0.0f, 1.0f;
  return k;
}

DepthNoise structuredLightNoise(uint32_t seed)
{
  return {0.002f, 0.0015f, 0.02f, seed};
}

Eigen::Isometry3f mountPose(float forward, float height, float pitch_down, float yaw, float left)
{
  // Optical axes in a level base frame: x right, y down, z forward.
  Eigen::Matrix3f optical;
  optical << 0.0f, 0.0f, 1.0f,
    -1.0f, 0.0f, 0.0f,
    0.0f, -1.0f, 0.0f;
  Eigen::Isometry3f pose = Eigen::Isometry3f::Identity();
  pose.linear() = Eigen::AngleAxisf(yaw, Eigen::Vector3f::UnitZ()).toRotationMatrix() *
    Eigen::AngleAxisf(pitch_down, Eigen::Vector3f::UnitY()).toRotationMatrix() * optical;
  pose.translation() = Eigen::Vector3f(forward, left, height);
  return pose;
}

}  // namespace scene
