#include "scene/robot.hpp"

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <utility>

namespace scene
{

RobotPath::RobotPath()
: pose_at_([](double) {return Pose2{};}) {}

RobotPath::RobotPath(std::function<Pose2(double)> pose_at)
: pose_at_(std::move(pose_at)) {}

RobotPath RobotPath::through(std::vector<Waypoint> waypoints)
{
  if (waypoints.empty()) {throw std::invalid_argument("a robot path needs a waypoint");}
  return RobotPath([w = std::move(waypoints)](double t) {
             const auto next = std::upper_bound(w.begin(), w.end(), t,
             [](double time, const Waypoint & p) {return time < p.t;});
             if (next == w.begin()) {return w.front().pose;}
             if (next == w.end()) {return w.back().pose;}
             const Pose2 & a = std::prev(next)->pose;
             const Pose2 & b = next->pose;
             const float s = static_cast<float>((t - std::prev(next)->t) / (next->t - std::prev(next)->t));
             const float turn = std::remainder(b.yaw - a.yaw, 2.0f * static_cast<float>(M_PI));
             return Pose2{a.x + s * (b.x - a.x), a.y + s * (b.y - a.y), a.yaw + s * turn};
           });
}

Eigen::Isometry3f RobotPath::odomFromBase(double t) const
{
  const Pose2 p = at(t);
  Eigen::Isometry3f pose = Eigen::Isometry3f::Identity();
  pose.linear() = Eigen::AngleAxisf(p.yaw, Eigen::Vector3f::UnitZ()).toRotationMatrix();
  pose.translation() = Eigen::Vector3f(p.x, p.y, 0.0f);
  return pose;
}

}  // namespace scene
