#pragma once

#include <chrono>
#include <memory>
#include <string>

#include "rclcpp/context.hpp"
#include "rclcpp/guard_condition.hpp"
#include "rclcpp/message_info.hpp"
#include "rclcpp/node.hpp"
#include "rclcpp/qos.hpp"
#include "rclcpp/subscription.hpp"
#include "rclcpp/wait_set.hpp"

namespace rclcpp
{

/// Waits up to time_to_wait (negative: without limit) for the next message
/// of the subscription and takes it into `out`.  False on timeout, and at
/// once when the context is or becomes shut down.
template<class MsgT, class Rep = int64_t, class Period = std::milli>
bool wait_for_message(
  MsgT & out,
  std::shared_ptr<rclcpp::Subscription<MsgT>> subscription,
  std::shared_ptr<rclcpp::Context> context,
  std::chrono::duration<Rep, Period> time_to_wait = std::chrono::duration<Rep, Period>(-1))
{
  auto shutdown_gc = std::make_shared<rclcpp::GuardCondition>(context);
  auto handle = context->add_on_shutdown_callback(
    [weak_gc = std::weak_ptr<rclcpp::GuardCondition>(shutdown_gc)] {
      if (auto gc = weak_gc.lock()) {
        gc->trigger();
      }
    });
  // Unregister on every exit: callers poll this in loops.
  struct RemoveOnExit
  {
    rclcpp::Context & context;
    const rclcpp::OnShutdownCallbackHandle & handle;
    ~RemoveOnExit() {context.remove_on_shutdown_callback(handle);}
  } remove_on_exit{*context, handle};
  if (!context->is_valid()) {
    return false;
  }

  rclcpp::WaitSet wait_set({}, {}, {}, {}, {}, {}, context);
  wait_set.add_subscription(subscription);
  wait_set.add_guard_condition(shutdown_gc);
  auto result = wait_set.wait(time_to_wait);
  if (result.kind() != rclcpp::WaitResultKind::Ready) {
    return false;
  }
  if (wait_set.get_rcl_wait_set().guard_conditions[0] != nullptr) {
    return false;
  }
  rclcpp::MessageInfo info;
  return subscription->take(out, info);
}

/// Subscribes to `topic` with `qos` for the duration of the call and waits
/// for its next message, as above, on the node's context.  The subscription
/// is in the node's default group: while an executor spins the node, it
/// races the wait for every message.
template<class MsgT, class Rep = int64_t, class Period = std::milli>
bool wait_for_message(
  MsgT & out,
  rclcpp::Node::SharedPtr node,
  const std::string & topic,
  std::chrono::duration<Rep, Period> time_to_wait = std::chrono::duration<Rep, Period>(-1),
  const rclcpp::QoS & qos = rclcpp::SystemDefaultsQoS())
{
  auto subscription = node->create_subscription<MsgT>(
    topic, qos, [](const std::shared_ptr<const MsgT>) {});
  return wait_for_message<MsgT, Rep, Period>(
    out, subscription, node->get_node_options().context(), time_to_wait);
}

}  // namespace rclcpp
