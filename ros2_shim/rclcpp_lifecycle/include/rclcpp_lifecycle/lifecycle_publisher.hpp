#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <utility>

#include "rclcpp/logging.hpp"
#include "rclcpp/publisher.hpp"
#include "rclcpp_lifecycle/managed_entity.hpp"

namespace rclcpp_lifecycle
{

// A publisher that a managed node switches with its activation.  Its own
// publish drops messages while inactive (warning once per deactivation); the
// base class publish, reached through an rclcpp::Publisher pointer, always sends.
template<typename MessageT, typename Alloc = std::allocator<void>>
class LifecyclePublisher : public SimpleManagedEntity, public rclcpp::Publisher<MessageT, Alloc>
{
public:
  using SharedPtr = std::shared_ptr<LifecyclePublisher>;
  using PublisherT = rclcpp::Publisher<MessageT, Alloc>;

  LifecyclePublisher(
    rclcpp::node_interfaces::NodeBaseInterface * node_base,
    const std::string & topic,
    const rclcpp::QoS & qos,
    const rclcpp::PublisherOptionsWithAllocator<Alloc> & options)
  : PublisherT(node_base, topic, qos, options)
  {
  }

  ~LifecyclePublisher() override = default;

  void publish(std::unique_ptr<MessageT> msg)
  {
    if (!is_activated()) {
      log_publisher_not_enabled();
      return;
    }
    PublisherT::publish(std::move(msg));
  }

  void publish(const MessageT & msg)
  {
    if (!is_activated()) {
      log_publisher_not_enabled();
      return;
    }
    PublisherT::publish(msg);
  }

  void on_activate() override
  {
    SimpleManagedEntity::on_activate();
    should_log_ = true;
  }

private:
  void log_publisher_not_enabled()
  {
    if (!should_log_.exchange(false)) {
      return;
    }
    RCLCPP_WARN(
      rclcpp::get_logger("LifecyclePublisher"),
      "Trying to publish message on the topic '%s', but the publisher is not activated",
      this->get_topic_name());
  }

  std::atomic<bool> should_log_{true};
};

}  // namespace rclcpp_lifecycle
