#pragma once

#include <memory>
#include <string>
#include <utility>

#include "rclcpp/any_subscription_callback.hpp"
#include "rclcpp/detail/topic_bus.hpp"
#include "rclcpp/exceptions.hpp"
#include "rclcpp/node_interfaces/get_node_base_interface.hpp"
#include "rclcpp/qos.hpp"
#include "rclcpp/subscription.hpp"
#include "rclcpp/subscription_options.hpp"

namespace rclcpp
{

/// Creates a subscription on the node, in options.callback_group or the
/// node's default group.  Raises InvalidTopicNameError for a bad name,
/// MissingGroupNodeException for a group of another node and
/// std::runtime_error when the topic carries another message type.
template<
  typename MessageT,
  typename CallbackT,
  typename AllocatorT = std::allocator<void>,
  typename SubscriptionT = rclcpp::Subscription<MessageT, AllocatorT>,
  typename NodeT>
std::shared_ptr<SubscriptionT> create_subscription(
  NodeT && node,
  const std::string & topic_name,
  const rclcpp::QoS & qos,
  CallbackT && callback,
  const rclcpp::SubscriptionOptionsWithAllocator<AllocatorT> & options =
  rclcpp::SubscriptionOptionsWithAllocator<AllocatorT>())
{
  auto node_base = rclcpp::node_interfaces::get_node_base_interface(std::forward<NodeT>(node));
  auto group = options.callback_group ?
    options.callback_group : node_base->get_default_callback_group();
  if (!node_base->callback_group_in_node(group)) {
    throw rclcpp::exceptions::MissingGroupNodeException("subscription");
  }
  AnySubscriptionCallback<MessageT, AllocatorT> any_callback;
  any_callback.set(std::forward<CallbackT>(callback));
  auto subscription = std::make_shared<SubscriptionT>(
    node_base.get(), topic_name, qos, std::move(any_callback), options);
  rclcpp::detail::bus_add_subscription(subscription);
  subscription->set_callback_group(group);
  group->add_subscription(subscription);
  // Wake the executor for the new entity and any replayed messages.
  group->notify();
  node_base->get_notify_guard_condition().trigger();
  return subscription;
}

}  // namespace rclcpp
