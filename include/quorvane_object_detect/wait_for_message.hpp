#pragma once

#include <chrono>
#include <memory>
#include <string>

#include "rclcpp/qos.hpp"
#include "rclcpp/wait_for_message.hpp"
#include "rclcpp_lifecycle/lifecycle_node.hpp"

namespace rclcpp
{

// rclcpp's own overloads take an rclcpp::Node only.  Subscribes for the length
// of the call, so only a message published while it waits is received; ends
// early (false) when the node's context shuts down.
template<class MsgT, class Rep = int64_t, class Period = std::milli>
static bool wait_for_message(
  MsgT & out,
  std::shared_ptr<rclcpp_lifecycle::LifecycleNode> node,
  const std::string & topic,
  std::chrono::duration<Rep, Period> time_to_wait = std::chrono::duration<Rep, Period>(-1))
{
  auto subscription = node->create_subscription<MsgT>(
    topic, rclcpp::QoS(1), [](const std::shared_ptr<const MsgT>) {});
  return rclcpp::wait_for_message<MsgT, Rep, Period>(
    out, subscription, node->get_node_options().context(), time_to_wait);
}

}  // namespace rclcpp
