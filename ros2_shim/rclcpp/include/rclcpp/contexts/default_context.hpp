#pragma once

#include "rclcpp/context.hpp"

namespace rclcpp
{
namespace contexts
{

class DefaultContext : public rclcpp::Context
{
public:
  RCLCPP_SMART_PTR_DEFINITIONS(DefaultContext)

  DefaultContext();
};

/// The context `rclcpp::init` initialises and nodes use unless told otherwise.
DefaultContext::SharedPtr get_global_default_context();

}  // namespace contexts
}  // namespace rclcpp
