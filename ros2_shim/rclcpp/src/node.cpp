#include "rclcpp/node.hpp"

#include <algorithm>

#include "rclcpp/detail/topic_bus.hpp"
#include "rclcpp/node_interfaces/node_base.hpp"
#include "rclcpp/time_source.hpp"

namespace rclcpp
{
namespace
{

// "/ns/sub/name" logs as "ns.sub.name", as upstream names node loggers.
std::string logger_name(const std::string & fully_qualified_name)
{
  std::string name = fully_qualified_name.substr(1);
  std::replace(name.begin(), name.end(), '/', '.');
  return name;
}

}  // namespace

Node::Node(const std::string & node_name, const NodeOptions & options)
: Node(node_name, "", options) {}

Node::Node(
  const std::string & node_name, const std::string & namespace_, const NodeOptions & options)
: node_options_(options),
  node_base_(std::make_shared<node_interfaces::NodeBase>(node_name, namespace_, options)),
  node_parameters_(std::make_shared<node_interfaces::NodeParameters>(
      node_base_->get_name(), node_base_->get_namespace(), options,
      static_cast<node_interfaces::NodeBase &>(*node_base_).get_global_arguments())),
  clock_(std::make_shared<Clock>(RCL_ROS_TIME)),
  time_source_(std::make_unique<TimeSource>(ClockQoS(), options.use_clock_thread())),
  logger_(rclcpp::get_logger(logger_name(node_base_->get_fully_qualified_name())))
{
  time_source_->attachClock(clock_);
  time_source_->attachNode(node_base_, node_parameters_);
}

Node::~Node()
{
  // The clock thread serves this node's entities; stop it first.
  time_source_.reset();
}

const char * Node::get_name() const {return node_base_->get_name();}
const char * Node::get_namespace() const {return node_base_->get_namespace();}

const char * Node::get_fully_qualified_name() const
{
  return node_base_->get_fully_qualified_name();
}

rclcpp::Logger Node::get_logger() const {return logger_;}

rclcpp::CallbackGroup::SharedPtr Node::create_callback_group(
  rclcpp::CallbackGroupType group_type, bool automatically_add_to_executor_with_node)
{
  return node_base_->create_callback_group(group_type, automatically_add_to_executor_with_node);
}

void Node::add_timer(const rclcpp::TimerBase::SharedPtr & timer, rclcpp::CallbackGroup::SharedPtr group)
{
  if (!group) {
    group = node_base_->get_default_callback_group();
  } else if (!node_base_->callback_group_in_node(group)) {
    throw rclcpp::exceptions::MissingGroupNodeException("timer");
  }
  timer->set_callback_group(group);
  group->add_timer(timer);
  group->notify();
  node_base_->get_notify_guard_condition().trigger();
}

const rclcpp::ParameterValue & Node::declare_parameter(
  const std::string & name, const rclcpp::ParameterValue & default_value, bool ignore_override)
{
  return node_parameters_->declare_parameter(name, default_value, ignore_override);
}

const rclcpp::ParameterValue & Node::declare_parameter(
  const std::string & name, rclcpp::ParameterType type, bool ignore_override)
{
  return node_parameters_->declare_parameter(name, type, ignore_override);
}

void Node::undeclare_parameter(const std::string & name)
{
  node_parameters_->undeclare_parameter(name);
}

bool Node::has_parameter(const std::string & name) const
{
  return node_parameters_->has_parameter(name);
}

rcl_interfaces::msg::SetParametersResult Node::set_parameter(const rclcpp::Parameter & parameter)
{
  return node_parameters_->set_parameters_atomically({parameter});
}

std::vector<rcl_interfaces::msg::SetParametersResult> Node::set_parameters(
  const std::vector<rclcpp::Parameter> & parameters)
{
  return node_parameters_->set_parameters(parameters);
}

rcl_interfaces::msg::SetParametersResult Node::set_parameters_atomically(
  const std::vector<rclcpp::Parameter> & parameters)
{
  return node_parameters_->set_parameters_atomically(parameters);
}

rclcpp::Parameter Node::get_parameter(const std::string & name) const
{
  return node_parameters_->get_parameter(name);
}

bool Node::get_parameter(const std::string & name, rclcpp::Parameter & parameter) const
{
  return node_parameters_->get_parameter(name, parameter);
}

std::vector<rclcpp::Parameter> Node::get_parameters(const std::vector<std::string> & names) const
{
  return node_parameters_->get_parameters(names);
}

std::vector<rclcpp::ParameterType> Node::get_parameter_types(
  const std::vector<std::string> & names) const
{
  return node_parameters_->get_parameter_types(names);
}

Node::OnSetParametersCallbackHandle::SharedPtr Node::add_on_set_parameters_callback(
  OnParametersSetCallbackType callback)
{
  return node_parameters_->add_on_set_parameters_callback(std::move(callback));
}

void Node::remove_on_set_parameters_callback(const OnSetParametersCallbackHandle * const handler)
{
  node_parameters_->remove_on_set_parameters_callback(handler);
}

size_t Node::count_publishers(const std::string & topic_name) const
{
  return detail::bus_count_publishers(
    node_base_->resolve_topic_or_service_name(topic_name, false, true));
}

size_t Node::count_subscribers(const std::string & topic_name) const
{
  return detail::bus_count_subscriptions(
    node_base_->resolve_topic_or_service_name(topic_name, false, true));
}

rclcpp::Clock::SharedPtr Node::get_clock() {return clock_;}

rclcpp::Clock::ConstSharedPtr Node::get_clock() const {return clock_;}

rclcpp::Time Node::now() const {return clock_->now();}

rclcpp::node_interfaces::NodeBaseInterface::SharedPtr Node::get_node_base_interface()
{
  return node_base_;
}

rclcpp::node_interfaces::NodeParametersInterface::SharedPtr Node::get_node_parameters_interface()
{
  return node_parameters_;
}

const rclcpp::NodeOptions & Node::get_node_options() const {return node_options_;}

}  // namespace rclcpp
