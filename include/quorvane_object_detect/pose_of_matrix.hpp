#pragma once

#include <Eigen/Core>

#include "geometry_msgs/msg/pose.hpp"

// The pose a transform matrix moves the origin to.
geometry_msgs::msg::Pose poseOfMatrix(const Eigen::Matrix4f & matrix);
