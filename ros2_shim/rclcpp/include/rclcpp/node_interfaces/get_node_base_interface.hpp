#pragma once

#include <memory>
#include <type_traits>

#include "rclcpp/node_interfaces/node_base_interface.hpp"

namespace rclcpp
{
namespace node_interfaces
{

/// The base interface of a node given as a node, a pointer to one, or the
/// interface itself.
inline NodeBaseInterface::SharedPtr get_node_base_interface(
  const NodeBaseInterface::SharedPtr & node_base)
{
  return node_base;
}

template<typename NodeT>
NodeBaseInterface::SharedPtr get_node_base_interface(const std::shared_ptr<NodeT> & node)
{
  if constexpr (std::is_base_of_v<NodeBaseInterface, NodeT>) {
    return node;
  } else {
    return node->get_node_base_interface();
  }
}

template<typename NodeT,
  typename = std::enable_if_t<!std::is_pointer_v<std::decay_t<NodeT>>>>
auto get_node_base_interface(NodeT && node) -> decltype(node.get_node_base_interface())
{
  return node.get_node_base_interface();
}

}  // namespace node_interfaces
}  // namespace rclcpp
