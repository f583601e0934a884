#include "rclcpp/executors.hpp"

#include "rclcpp/node.hpp"

namespace rclcpp
{

void spin_some(rclcpp::node_interfaces::NodeBaseInterface::SharedPtr node_ptr)
{
  rclcpp::executors::SingleThreadedExecutor executor;
  executor.spin_node_some(node_ptr);
}

void spin_some(std::shared_ptr<rclcpp::Node> node_ptr)
{
  spin_some(node_ptr->get_node_base_interface());
}

void spin(rclcpp::node_interfaces::NodeBaseInterface::SharedPtr node_ptr)
{
  rclcpp::executors::SingleThreadedExecutor executor;
  executor.add_node(node_ptr);
  executor.spin();
  executor.remove_node(node_ptr);
}

void spin(std::shared_ptr<rclcpp::Node> node_ptr)
{
  spin(node_ptr->get_node_base_interface());
}

}  // namespace rclcpp
