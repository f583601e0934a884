#pragma once

#include <memory>
#include <string>
#include <typeindex>
#include <utility>

#include "rclcpp/any_subscription_callback.hpp"
#include "rclcpp/macros.hpp"
#include "rclcpp/message_info.hpp"
#include "rclcpp/node_interfaces/node_base_interface.hpp"
#include "rclcpp/qos.hpp"
#include "rclcpp/subscription_base.hpp"
#include "rclcpp/subscription_options.hpp"

namespace rclcpp
{

/// A subscription to messages of one type; made by Node::create_subscription.
template<typename MessageT, typename AllocatorT = std::allocator<void>>
class Subscription : public SubscriptionBase
{
public:
  RCLCPP_SMART_PTR_DEFINITIONS(Subscription)

  using MessageSharedPtr = std::shared_ptr<MessageT>;
  using ConstMessageSharedPtr = std::shared_ptr<const MessageT>;
  using MessageUniquePtr = std::unique_ptr<MessageT>;

  Subscription(
    rclcpp::node_interfaces::NodeBaseInterface * node_base,
    const std::string & topic_name,
    const rclcpp::QoS & qos,
    AnySubscriptionCallback<MessageT, AllocatorT> callback,
    const rclcpp::SubscriptionOptionsWithAllocator<AllocatorT> & options)
  : SubscriptionBase(node_base, topic_name, qos, std::type_index(typeid(MessageT))),
    callback_(std::move(callback)),
    options_(options) {}

  /// Takes the oldest queued message without running the callback.
  bool take(MessageT & message_out, rclcpp::MessageInfo & message_info_out)
  {
    auto message = take_next(message_info_out);
    if (!message) {
      return false;
    }
    message_out = *std::static_pointer_cast<const MessageT>(message);
    return true;
  }

  void handle_message(
    const std::shared_ptr<const void> & message,
    const rclcpp::MessageInfo & message_info) override
  {
    callback_.dispatch(std::static_pointer_cast<const MessageT>(message), message_info);
  }

  const rclcpp::SubscriptionOptionsWithAllocator<AllocatorT> & get_options() const
  {
    return options_;
  }

private:
  AnySubscriptionCallback<MessageT, AllocatorT> callback_;
  const rclcpp::SubscriptionOptionsWithAllocator<AllocatorT> options_;
};

}  // namespace rclcpp
