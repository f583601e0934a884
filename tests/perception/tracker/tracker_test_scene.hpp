#pragma once

// Cameras on a robot and trash observations as the trash thread reports them.

#include <cmath>
#include <vector>

#include <Eigen/Geometry>

#include "camera_view.hpp"
#include "pelorin/perception/object_info.hpp"

namespace tracker_test
{

constexpr int32_t kBottle = 401;
constexpr int32_t kCan = 402;

// Optical frame (z ahead, x right, y down) at `height`, turned by `yaw` and tilted down.
inline Eigen::Isometry3d CameraInBase(double forward, double height, double yaw, double tilt)
{
  Eigen::Matrix3d optical;
  optical << 0, 0, 1, -1, 0, 0, 0, -1, 0;
  Eigen::Isometry3d pose = Eigen::Isometry3d::Identity();
  pose.linear() = Eigen::AngleAxisd(yaw, Eigen::Vector3d::UnitZ()).toRotationMatrix() *
                  Eigen::AngleAxisd(tilt, Eigen::Vector3d::UnitY()).toRotationMatrix() * optical;
  pose.translation() = Eigen::Vector3d(forward, 0.0, height);
  return pose;
}

inline pelorin::perception::CameraView View(const Eigen::Isometry3d& camera_in_base)
{
  pelorin::perception::CameraView view;
  view.base_from_camera = camera_in_base;
  view.width = 640;
  view.height = 480;
  view.fx = 400.0;
  view.cx = 320.0;
  view.fy = 400.0;
  view.cy = 240.0;
  return view;
}

inline Eigen::Isometry3d RobotAt(double x, double y, double yaw)
{
  Eigen::Isometry3d pose = Eigen::Isometry3d::Identity();
  pose.translation() = Eigen::Vector3d(x, y, 0.0);
  pose.linear() = Eigen::AngleAxisd(yaw, Eigen::Vector3d::UnitZ()).toRotationMatrix();
  return pose;
}

// What a camera reports for trash at `where` (map), distance measured from that camera.
inline pelorin::perception::ObjectInfo Seen(int32_t class_id, const Eigen::Vector3d& where,
                                            const Eigen::Isometry3d& camera_in_base,
                                            const Eigen::Isometry3d& robot)
{
  pelorin::perception::ObjectInfo info;
  info.position[0] = where.x();
  info.position[1] = where.y();
  info.position[2] = where.z();
  info.distance = static_cast<float>((where - (robot * camera_in_base).translation()).norm());
  info.class_id = class_id;
  info.size = {0.2F, 0.07F, 0.07F};
  return info;
}

}  // namespace tracker_test
