#pragma once

#include <memory>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <typeindex>
#include <utility>

#include "rclcpp/macros.hpp"
#include "rclcpp/node_interfaces/node_base_interface.hpp"
#include "rclcpp/publisher_base.hpp"
#include "rclcpp/publisher_options.hpp"
#include "rclcpp/qos.hpp"

namespace rclcpp
{

/// A publisher of one message type.  As in ROS 2 Humble, publish is not
/// virtual: a derived publisher (the lifecycle one) hides it with its own
/// checks, and a caller holding the plain Publisher pointer always sends.
template<typename MessageT, typename AllocatorT = std::allocator<void>>
class Publisher : public PublisherBase
{
public:
  RCLCPP_SMART_PTR_DEFINITIONS(Publisher)

  using PublishedType = MessageT;
  using ROSMessageType = MessageT;
  using MessageUniquePtr = std::unique_ptr<MessageT>;
  using MessageSharedPtr = std::shared_ptr<const MessageT>;

  /// `topic` is the name as given; it is resolved against the node.
  Publisher(
    rclcpp::node_interfaces::NodeBaseInterface * node_base,
    const std::string & topic,
    const rclcpp::QoS & qos,
    const rclcpp::PublisherOptionsWithAllocator<AllocatorT> & options)
  : PublisherBase(node_base, topic, qos, std::type_index(typeid(MessageT))),
    options_(options) {}

  ~Publisher() override = default;

  /// Called by the creating function once the publisher is owned by a shared pointer.
  virtual void post_init_setup(
    rclcpp::node_interfaces::NodeBaseInterface *, const std::string &, const rclcpp::QoS &,
    const rclcpp::PublisherOptionsWithAllocator<AllocatorT> &) {}

  void publish(std::unique_ptr<MessageT> msg)
  {
    if (!msg) {
      throw std::invalid_argument("cannot publish a null message");
    }
    publish_type_erased(std::shared_ptr<const MessageT>(std::move(msg)));
  }

  void publish(const MessageT & msg)
  {
    publish_type_erased(std::make_shared<const MessageT>(msg));
  }

  std::shared_ptr<std::allocator<MessageT>> get_allocator() const
  {
    return std::make_shared<std::allocator<MessageT>>();
  }

  const rclcpp::PublisherOptionsWithAllocator<AllocatorT> & get_options() const {return options_;}

private:
  const rclcpp::PublisherOptionsWithAllocator<AllocatorT> options_;
};

}  // namespace rclcpp
