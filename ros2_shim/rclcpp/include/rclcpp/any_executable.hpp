#pragma once

#include <memory>

#include "rclcpp/callback_group.hpp"
#include "rclcpp/message_info.hpp"
#include "rclcpp/node_interfaces/node_base_interface.hpp"
#include "rclcpp/subscription_base.hpp"
#include "rclcpp/timer.hpp"

namespace rclcpp
{

/// One unit of ready work an executor picked: a timer trigger, or a message
/// already taken from its subscription's queue.
struct AnyExecutable
{
  rclcpp::SubscriptionBase::SharedPtr subscription;
  std::shared_ptr<const void> message;
  rclcpp::MessageInfo message_info;
  rclcpp::TimerBase::SharedPtr timer;
  rclcpp::CallbackGroup::SharedPtr callback_group;
  rclcpp::node_interfaces::NodeBaseInterface::SharedPtr node_base;
};

}  // namespace rclcpp
