#pragma once

#include <chrono>
#include <memory>
#include <stdexcept>
#include <string>

#include "rclcpp/callback_group.hpp"
#include "rclcpp/qos.hpp"
#include "rclcpp/subscription_options.hpp"
#include "rclcpp/wait_for_message.hpp"
#include "rclcpp_lifecycle/lifecycle_node.hpp"

namespace rclcpp
{

// rclcpp's own overloads take an rclcpp::Node only.  Subscribes for the length
// of the call, so only a message published while it waits is received; ends
// early (false) when the node's context shuts down.
//
// The subscription lives in `callback_group`, which no executor may spin (made
// with create_callback_group(type, false) and never added to one): an executor
// spinning the node would race the wait for each message, and one it takes is
// lost to the wait.  The caller keeps one such group for all its waits: a
// node keeps a record of every group made on it.
template<class MsgT, class Rep = int64_t, class Period = std::milli>
static bool wait_for_message(
  MsgT & out,
  std::shared_ptr<rclcpp_lifecycle::LifecycleNode> node,
  const rclcpp::CallbackGroup::SharedPtr & callback_group,
  const std::string & topic,
  std::chrono::duration<Rep, Period> time_to_wait = std::chrono::duration<Rep, Period>(-1))
{
  if (!callback_group || callback_group->automatically_add_to_executor_with_node() ||
    callback_group->get_associated_with_executor_atomic().load())
  {
    throw std::invalid_argument(
            "wait_for_message on \"" + topic + "\" needs a callback group no executor spins");
  }
  rclcpp::SubscriptionOptions options;
  options.callback_group = callback_group;
  auto subscription = node->create_subscription<MsgT>(
    topic, rclcpp::QoS(1), [](const std::shared_ptr<const MsgT>) {}, options);
  return rclcpp::wait_for_message<MsgT, Rep, Period>(
    out, subscription, node->get_node_options().context(), time_to_wait);
}

}  // namespace rclcpp
