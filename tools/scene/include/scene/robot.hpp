#pragma once

#include <functional>
#include <vector>

#include <Eigen/Geometry>

// Where the robot is: base_footprint in odom over time, and the frames above.
namespace scene
{

// The frame names the node connects.
inline const char * const kMapFrame = "map";
inline const char * const kOdomFusionFrame = "odom_fusion";
inline const char * const kOdomFrame = "odom";
inline const char * const kBaseFrame = "base_footprint";

struct Pose2
{
  float x = 0.0f;
  float y = 0.0f;
  float yaw = 0.0f;
};

struct Waypoint
{
  double t = 0.0;
  Pose2 pose;
};

class RobotPath
{
public:
  // Standing at the odom origin.
  RobotPath();
  explicit RobotPath(std::function<Pose2(double)> pose_at);
  // Linear between the waypoints (yaw the short way round), held before the
  // first and after the last; waypoints in order of time.
  static RobotPath through(std::vector<Waypoint> waypoints);

  Pose2 at(double t) const {return pose_at_(t);}
  Eigen::Isometry3f odomFromBase(double t) const;

private:
  std::function<Pose2(double)> pose_at_;
};

// map -> odom_fusion -> odom; identity unless a test needs them apart.
struct FrameTree
{
  Eigen::Isometry3f map_from_odom_fusion = Eigen::Isometry3f::Identity();
  Eigen::Isometry3f odom_fusion_from_odom = Eigen::Isometry3f::Identity();
};

}  // namespace scene
