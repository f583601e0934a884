#pragma once

#include <memory>
#include <mutex>
#include <vector>

#include "rclcpp/clock.hpp"
#include "rclcpp/node_interfaces/node_base_interface.hpp"
#include "rclcpp/node_interfaces/node_parameters_interface.hpp"
#include "rclcpp/qos.hpp"

namespace rclcpp
{

class SubscriptionBase;
class Executor;

/// Drives the ROS-time clocks of a node from the "/clock" topic while the
/// node's "use_sim_time" parameter is true (declared false when absent).
/// With the clock thread, "/clock" is served by an executor of its own, so
/// simulated time advances whether or not the node is spun.
class TimeSource
{
public:
  explicit TimeSource(const rclcpp::QoS & qos = rclcpp::ClockQoS(), bool use_clock_thread = true);
  ~TimeSource();

  TimeSource(const TimeSource &) = delete;
  TimeSource & operator=(const TimeSource &) = delete;

  void attachNode(
    rclcpp::node_interfaces::NodeBaseInterface::SharedPtr node_base,
    rclcpp::node_interfaces::NodeParametersInterface::SharedPtr node_parameters);
  void detachNode();

  void attachClock(std::shared_ptr<rclcpp::Clock> clock);
  void detachClock(std::shared_ptr<rclcpp::Clock> clock);

  bool get_use_clock_thread() const;
  bool clock_thread_is_joinable();

private:
  struct State;
  struct ClockFollower;

  void enable_sim_time(bool enable);
  static void set_clock(rclcpp::Clock & clock, bool simulated, int64_t nanoseconds);

  const rclcpp::QoS qos_;
  const bool use_clock_thread_;

  std::mutex mutex_;  // guards the node, the callback handle and the follower
  rclcpp::node_interfaces::NodeBaseInterface::SharedPtr node_base_;
  rclcpp::node_interfaces::NodeParametersInterface::SharedPtr node_parameters_;
  rclcpp::node_interfaces::OnSetParametersCallbackHandle::SharedPtr parameter_callback_;
  std::shared_ptr<State> state_;
  std::unique_ptr<ClockFollower> follower_;
};

}  // namespace rclcpp
