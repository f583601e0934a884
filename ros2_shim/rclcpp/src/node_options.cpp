#include "rclcpp/node_options.hpp"

#include "rclcpp/contexts/default_context.hpp"

namespace rclcpp
{

NodeOptions::NodeOptions()
: context_(rclcpp::contexts::get_global_default_context())
{
}

std::shared_ptr<rclcpp::Context> NodeOptions::context() const
{
  return context_;
}

NodeOptions & NodeOptions::context(std::shared_ptr<rclcpp::Context> context)
{
  context_ = std::move(context);
  return *this;
}

const std::vector<std::string> & NodeOptions::arguments() const
{
  return arguments_;
}

NodeOptions & NodeOptions::arguments(const std::vector<std::string> & arguments)
{
  arguments_ = arguments;
  return *this;
}

std::vector<rclcpp::Parameter> & NodeOptions::parameter_overrides()
{
  return parameter_overrides_;
}

const std::vector<rclcpp::Parameter> & NodeOptions::parameter_overrides() const
{
  return parameter_overrides_;
}

NodeOptions & NodeOptions::parameter_overrides(
  const std::vector<rclcpp::Parameter> & parameter_overrides)
{
  parameter_overrides_ = parameter_overrides;
  return *this;
}

// The plain flags all follow the same getter/setter pattern.
#define QUORVANE_NODE_OPTIONS_FLAG(name) \
  bool NodeOptions::name() const {return name ## _;} \
  NodeOptions & NodeOptions::name(bool name) {name ## _ = name; return *this;}

QUORVANE_NODE_OPTIONS_FLAG(use_global_arguments)
QUORVANE_NODE_OPTIONS_FLAG(enable_rosout)
QUORVANE_NODE_OPTIONS_FLAG(use_intra_process_comms)
QUORVANE_NODE_OPTIONS_FLAG(enable_topic_statistics)
QUORVANE_NODE_OPTIONS_FLAG(start_parameter_services)
QUORVANE_NODE_OPTIONS_FLAG(start_parameter_event_publisher)
QUORVANE_NODE_OPTIONS_FLAG(use_clock_thread)
QUORVANE_NODE_OPTIONS_FLAG(allow_undeclared_parameters)
QUORVANE_NODE_OPTIONS_FLAG(automatically_declare_parameters_from_overrides)

#undef QUORVANE_NODE_OPTIONS_FLAG

}  // namespace rclcpp
