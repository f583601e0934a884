#pragma once

#include <atomic>
#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <typeindex>

#include "rclcpp/callback_group.hpp"
#include "rclcpp/context.hpp"
#include "rclcpp/detail/wake_signal.hpp"
#include "rclcpp/macros.hpp"
#include "rclcpp/message_info.hpp"
#include "rclcpp/node_interfaces/node_base_interface.hpp"
#include "rclcpp/qos.hpp"

namespace rclcpp
{

/// The type-independent part of a subscription: its resolved topic, its QoS
/// and its keep-last queue of received messages.
class SubscriptionBase : public std::enable_shared_from_this<SubscriptionBase>
{
public:
  RCLCPP_SMART_PTR_DEFINITIONS_NOT_COPYABLE(SubscriptionBase)

  SubscriptionBase(
    rclcpp::node_interfaces::NodeBaseInterface * node_base,
    const std::string & topic_name,
    const rclcpp::QoS & qos,
    std::type_index message_type);
  virtual ~SubscriptionBase();

  SubscriptionBase(const SubscriptionBase &) = delete;
  SubscriptionBase & operator=(const SubscriptionBase &) = delete;

  /// The resolved (fully qualified, remapped) topic name.
  const char * get_topic_name() const;
  rclcpp::QoS get_actual_qos() const;
  /// Publishers on the topic whose QoS matches this subscription's.
  size_t get_publisher_count() const;

  /// Marks the subscription as held by a wait set; returns the previous
  /// state.  An executor serving its callback group still takes its
  /// messages: the two race for each one.
  bool exchange_in_use_by_wait_set_state(void * pointer_to_subscription_part, bool in_use_state);

  /// Runs the user callback for one taken message.
  virtual void handle_message(
    const std::shared_ptr<const void> & message, const rclcpp::MessageInfo & message_info) = 0;

  // Used by the bus, executors and wait sets.
  const std::type_index & message_type() const;
  void deliver(std::shared_ptr<const void> message);
  /// Wakes the wait set holding the subscription and its group's executor.
  void notify_ready();
  bool has_message() const;
  /// The oldest queued message and its info; empty when none is queued.
  std::shared_ptr<const void> take_next(rclcpp::MessageInfo & message_info);
  detail::WakeLink & wait_set_link();
  void set_callback_group(const std::shared_ptr<CallbackGroup> & group);
  rclcpp::Context::SharedPtr get_context() const;

private:
  struct Received
  {
    std::shared_ptr<const void> message;
    int64_t received_ns;
  };

  const std::string topic_name_;
  const rclcpp::QoS qos_;
  const std::type_index message_type_;
  rclcpp::Context::SharedPtr context_;

  mutable std::mutex queue_mutex_;
  std::deque<Received> queue_;
  std::weak_ptr<CallbackGroup> callback_group_;
  std::atomic_bool in_use_by_wait_set_{false};
  detail::WakeLink wait_set_link_;
};

}  // namespace rclcpp
