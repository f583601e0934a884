#include "robot_inputs.hpp"

#include <chrono>
#include <cmath>

#include <Eigen/Geometry>

namespace replay
{
namespace
{

// Any task state but hibernation (8) keeps the model running.
constexpr int32_t kCleaningState = 1;

}  // namespace

geometry_msgs::msg::Twist velocityOn(const scene::RobotPath & path, double t, double dt)
{
  const scene::Pose2 before = path.at(t - dt);
  const scene::Pose2 after = path.at(t + dt);
  const scene::Pose2 now = path.at(t);
  const Eigen::Vector2f travel =
    Eigen::Rotation2Df(-now.yaw) * Eigen::Vector2f(after.x - before.x, after.y - before.y);
  geometry_msgs::msg::Twist twist;
  twist.linear.x = travel.x() / (2.0 * dt);
  twist.linear.y = travel.y() / (2.0 * dt);
  twist.angular.z =
    std::remainder(after.yaw - before.yaw, 2.0 * M_PI) / (2.0 * dt);
  return twist;
}

RobotInputs::RobotInputs(const rclcpp::Node::SharedPtr & node)
: cmd_vel_(node->create_publisher<geometry_msgs::msg::Twist>("cmd_vel", rclcpp::QoS(1))),
  fsm_status_(node->create_publisher<quorvane_protocol::msg::TaskCenterFsmStatus>(
      "fsm_status", rclcpp::QoS(1)))
{
  sender_ = std::thread([this] {
        quorvane_protocol::msg::TaskCenterFsmStatus status;
        status.fsm_state = kCleaningState;
        status.task_name = "replay";
        while (!stop_.load()) {
          geometry_msgs::msg::Twist twist;
          {
            std::lock_guard<std::mutex> lock(mutex_);
            twist = twist_;
          }
          cmd_vel_->publish(twist);
          fsm_status_->publish(status);
          std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
      });
}

RobotInputs::~RobotInputs()
{
  stop_.store(true);
  sender_.join();
}

void RobotInputs::follow(const scene::RobotPath & path, double t)
{
  geometry_msgs::msg::Twist twist = velocityOn(path, t);
  // Where the recording has no pose the robot is taken to stand.
  if (!std::isfinite(twist.linear.x) || !std::isfinite(twist.linear.y) ||
    !std::isfinite(twist.angular.z))
  {
    twist = geometry_msgs::msg::Twist();
  }
  std::lock_guard<std::mutex> lock(mutex_);
  twist_ = twist;
}

}  // namespace replay
