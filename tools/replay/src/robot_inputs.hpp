#pragma once

#include <atomic>
#include <mutex>
#include <thread>

#include "geometry_msgs/msg/twist.hpp"
#include "quorvane_protocol/msg/task_center_fsm_status.hpp"
#include "rclcpp/rclcpp.hpp"
#include "scene/robot.hpp"

namespace replay
{

// The base controller's "cmd_vel" and the task centre's "fsm_status", sent
// every 20 ms of wall time as a robot sends them: the trash thread waits for
// the next cmd_vel of each frame.
class RobotInputs
{
public:
  explicit RobotInputs(const rclcpp::Node::SharedPtr & node);
  ~RobotInputs();

  RobotInputs(const RobotInputs &) = delete;
  RobotInputs & operator=(const RobotInputs &) = delete;

  // The velocity in the base frame that moves the robot along `path` at t.
  void follow(const scene::RobotPath & path, double t);

private:
  rclcpp::Publisher<geometry_msgs::msg::Twist>::SharedPtr cmd_vel_;
  rclcpp::Publisher<quorvane_protocol::msg::TaskCenterFsmStatus>::SharedPtr fsm_status_;
  std::mutex mutex_;
  geometry_msgs::msg::Twist twist_;
  std::atomic<bool> stop_{false};
  std::thread sender_;
};

// Forward, sideways and turn rate of the base on `path` at t, by central
// differences over `dt`.
geometry_msgs::msg::Twist velocityOn(const scene::RobotPath & path, double t, double dt = 0.02);

}  // namespace replay
