#pragma once

#include <cstddef>
#include <deque>
#include <memory>
#include <string>
#include <typeindex>

#include "rclcpp/context.hpp"
#include "rclcpp/macros.hpp"
#include "rclcpp/node_interfaces/node_base_interface.hpp"
#include "rclcpp/qos.hpp"

namespace rclcpp
{

/// The type-independent part of a publisher.
class PublisherBase : public std::enable_shared_from_this<PublisherBase>
{
public:
  RCLCPP_SMART_PTR_DEFINITIONS_NOT_COPYABLE(PublisherBase)

  PublisherBase(
    rclcpp::node_interfaces::NodeBaseInterface * node_base,
    const std::string & topic,
    const rclcpp::QoS & qos,
    std::type_index message_type);
  virtual ~PublisherBase();

  PublisherBase(const PublisherBase &) = delete;
  PublisherBase & operator=(const PublisherBase &) = delete;

  /// The resolved (fully qualified, remapped) topic name.
  const char * get_topic_name() const;
  /// Subscriptions on the topic whose QoS matches this publisher's.
  size_t get_subscription_count() const;
  size_t get_intra_process_subscription_count() const;
  rclcpp::QoS get_actual_qos() const;

  // Used by the bus.
  const std::type_index & message_type() const;
  /// Messages kept for late transient-local subscriptions, oldest first.
  std::deque<std::shared_ptr<const void>> & transient_local_history();

protected:
  /// Hands a message to the bus; dropped silently once the context is shut down.
  void publish_type_erased(std::shared_ptr<const void> message);

private:
  const std::string topic_name_;
  const rclcpp::QoS qos_;
  const std::type_index message_type_;
  rclcpp::Context::SharedPtr context_;
  std::deque<std::shared_ptr<const void>> history_;  // guarded by the bus
};

}  // namespace rclcpp
