#pragma once

#include <memory>
#include <string>
#include <utility>

#include "rclcpp/detail/topic_bus.hpp"
#include "rclcpp/node_interfaces/get_node_base_interface.hpp"
#include "rclcpp/publisher.hpp"
#include "rclcpp/publisher_options.hpp"
#include "rclcpp/qos.hpp"

namespace rclcpp
{

/// Creates a publisher of type PublisherT (rclcpp::Publisher or a class
/// derived from it with the same constructor) on the node and joins it to
/// its topic.  Raises InvalidTopicNameError for a bad name and
/// std::runtime_error when the topic carries another message type.
template<
  typename MessageT,
  typename AllocatorT = std::allocator<void>,
  typename PublisherT = rclcpp::Publisher<MessageT, AllocatorT>,
  typename NodeT>
std::shared_ptr<PublisherT> create_publisher(
  NodeT && node,
  const std::string & topic_name,
  const rclcpp::QoS & qos,
  const rclcpp::PublisherOptionsWithAllocator<AllocatorT> & options =
  rclcpp::PublisherOptionsWithAllocator<AllocatorT>())
{
  auto node_base = rclcpp::node_interfaces::get_node_base_interface(std::forward<NodeT>(node));
  auto publisher = std::make_shared<PublisherT>(node_base.get(), topic_name, qos, options);
  publisher->post_init_setup(node_base.get(), topic_name, qos, options);
  rclcpp::detail::bus_add_publisher(publisher);
  return publisher;
}

}  // namespace rclcpp
