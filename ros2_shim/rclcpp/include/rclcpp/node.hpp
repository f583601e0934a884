#pragma once

#include <chrono>
#include <cstddef>
#include <map>
#include <stdexcept>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "rcl_interfaces/msg/set_parameters_result.hpp"
#include "rclcpp/callback_group.hpp"
#include "rclcpp/clock.hpp"
#include "rclcpp/context.hpp"
#include "rclcpp/create_publisher.hpp"
#include "rclcpp/create_subscription.hpp"
#include "rclcpp/logger.hpp"
#include "rclcpp/macros.hpp"
#include "rclcpp/node_interfaces/node_base_interface.hpp"
#include "rclcpp/node_interfaces/node_parameters.hpp"
#include "rclcpp/node_interfaces/node_parameters_interface.hpp"
#include "rclcpp/node_options.hpp"
#include "rclcpp/parameter.hpp"
#include "rclcpp/parameter_value.hpp"
#include "rclcpp/publisher.hpp"
#include "rclcpp/publisher_options.hpp"
#include "rclcpp/qos.hpp"
#include "rclcpp/subscription.hpp"
#include "rclcpp/subscription_options.hpp"
#include "rclcpp/time.hpp"
#include "rclcpp/timer.hpp"

namespace rclcpp
{

class TimeSource;

/// A node: a name in a namespace, its parameters, clock and logger, and the
/// publishers, subscriptions and timers created through it.  Executors take
/// it through get_node_base_interface().
class Node : public std::enable_shared_from_this<Node>
{
public:
  RCLCPP_SMART_PTR_DEFINITIONS(Node)

  explicit Node(const std::string & node_name, const NodeOptions & options = NodeOptions());
  explicit Node(
    const std::string & node_name, const std::string & namespace_,
    const NodeOptions & options = NodeOptions());
  virtual ~Node();

  Node(const Node &) = delete;
  Node & operator=(const Node &) = delete;

  const char * get_name() const;
  const char * get_namespace() const;
  const char * get_fully_qualified_name() const;
  rclcpp::Logger get_logger() const;

  rclcpp::CallbackGroup::SharedPtr create_callback_group(
    rclcpp::CallbackGroupType group_type,
    bool automatically_add_to_executor_with_node = true);

  template<
    typename MessageT,
    typename AllocatorT = std::allocator<void>,
    typename PublisherT = rclcpp::Publisher<MessageT, AllocatorT>>
  std::shared_ptr<PublisherT> create_publisher(
    const std::string & topic_name,
    const rclcpp::QoS & qos,
    const PublisherOptionsWithAllocator<AllocatorT> & options =
    PublisherOptionsWithAllocator<AllocatorT>())
  {
    return rclcpp::create_publisher<MessageT, AllocatorT, PublisherT>(
      node_base_, topic_name, qos, options);
  }

  template<
    typename MessageT,
    typename CallbackT,
    typename AllocatorT = std::allocator<void>,
    typename SubscriptionT = rclcpp::Subscription<MessageT, AllocatorT>>
  std::shared_ptr<SubscriptionT> create_subscription(
    const std::string & topic_name,
    const rclcpp::QoS & qos,
    CallbackT && callback,
    const SubscriptionOptionsWithAllocator<AllocatorT> & options =
    SubscriptionOptionsWithAllocator<AllocatorT>())
  {
    return rclcpp::create_subscription<MessageT, CallbackT, AllocatorT, SubscriptionT>(
      node_base_, topic_name, qos, std::forward<CallbackT>(callback), options);
  }

  /// A timer on the steady clock in `group` (default: the node's default group).
  template<typename DurationRepT = int64_t, typename DurationT = std::milli, typename CallbackT>
  typename rclcpp::WallTimer<CallbackT>::SharedPtr create_wall_timer(
    std::chrono::duration<DurationRepT, DurationT> period,
    CallbackT callback,
    rclcpp::CallbackGroup::SharedPtr group = nullptr)
  {
    auto timer = rclcpp::WallTimer<CallbackT>::make_shared(
      to_period(period), std::move(callback), node_base_->get_context());
    add_timer(timer, group);
    return timer;
  }

  // Parameters: see rclcpp::node_interfaces::NodeParameters.
  const rclcpp::ParameterValue & declare_parameter(
    const std::string & name, const rclcpp::ParameterValue & default_value,
    bool ignore_override = false);
  const rclcpp::ParameterValue & declare_parameter(
    const std::string & name, rclcpp::ParameterType type, bool ignore_override = false);

  template<typename ParameterT>
  auto declare_parameter(
    const std::string & name, const ParameterT & default_value, bool ignore_override = false)
  {
    return node_parameters_->declare_parameter<ParameterT>(name, default_value, ignore_override);
  }

  /// Declares "<namespace_>.<key>" for every entry; returns the values they got.
  template<typename ParameterT>
  std::vector<ParameterT> declare_parameters(
    const std::string & namespace_, const std::map<std::string, ParameterT> & parameters,
    bool ignore_overrides = false)
  {
    std::vector<ParameterT> values;
    for (const auto & entry : parameters) {
      const std::string name = namespace_.empty() ? entry.first : namespace_ + "." + entry.first;
      values.push_back(declare_parameter<ParameterT>(name, entry.second, ignore_overrides));
    }
    return values;
  }

  void undeclare_parameter(const std::string & name);
  bool has_parameter(const std::string & name) const;
  rcl_interfaces::msg::SetParametersResult set_parameter(const rclcpp::Parameter & parameter);
  std::vector<rcl_interfaces::msg::SetParametersResult> set_parameters(
    const std::vector<rclcpp::Parameter> & parameters);
  rcl_interfaces::msg::SetParametersResult set_parameters_atomically(
    const std::vector<rclcpp::Parameter> & parameters);

  rclcpp::Parameter get_parameter(const std::string & name) const;
  bool get_parameter(const std::string & name, rclcpp::Parameter & parameter) const;

  /// False when absent; a parameter of another type raises
  /// rclcpp::exceptions::InvalidParameterTypeException.
  template<typename ParameterT>
  bool get_parameter(const std::string & name, ParameterT & parameter) const
  {
    return node_parameters_->get_parameter<ParameterT>(name, parameter);
  }

  template<typename ParameterT>
  bool get_parameter_or(
    const std::string & name, ParameterT & parameter, const ParameterT & alternative_value) const
  {
    return node_parameters_->get_parameter_or<ParameterT>(name, parameter, alternative_value);
  }

  template<typename ParameterT>
  ParameterT get_parameter_or(const std::string & name, const ParameterT & alternative_value) const
  {
    ParameterT parameter;
    get_parameter_or(name, parameter, alternative_value);
    return parameter;
  }

  std::vector<rclcpp::Parameter> get_parameters(const std::vector<std::string> & names) const;

  /// Parameters under "<prefix>.", keyed by the rest of their name.
  template<typename ParameterT>
  bool get_parameters(const std::string & prefix, std::map<std::string, ParameterT> & values) const
  {
    std::map<std::string, rclcpp::Parameter> parameters;
    const bool found = node_parameters_->get_parameters_by_prefix(prefix, parameters);
    for (const auto & entry : parameters) {
      values[entry.first] = static_cast<ParameterT>(entry.second.get_value<ParameterT>());
    }
    return found;
  }

  std::vector<rclcpp::ParameterType> get_parameter_types(
    const std::vector<std::string> & names) const;

  using OnSetParametersCallbackHandle = rclcpp::node_interfaces::OnSetParametersCallbackHandle;
  using OnParametersSetCallbackType =
    rclcpp::node_interfaces::NodeParametersInterface::OnParametersSetCallbackType;

  OnSetParametersCallbackHandle::SharedPtr add_on_set_parameters_callback(
    OnParametersSetCallbackType callback);
  void remove_on_set_parameters_callback(const OnSetParametersCallbackHandle * const handler);

  size_t count_publishers(const std::string & topic_name) const;
  size_t count_subscribers(const std::string & topic_name) const;

  rclcpp::Clock::SharedPtr get_clock();
  rclcpp::Clock::ConstSharedPtr get_clock() const;
  /// The node's ROS time: the system time, or "/clock" with use_sim_time.
  rclcpp::Time now() const;

  rclcpp::node_interfaces::NodeBaseInterface::SharedPtr get_node_base_interface();
  rclcpp::node_interfaces::NodeParametersInterface::SharedPtr get_node_parameters_interface();

  const rclcpp::NodeOptions & get_node_options() const;

private:
  template<typename DurationRepT, typename DurationT>
  static std::chrono::nanoseconds to_period(std::chrono::duration<DurationRepT, DurationT> period)
  {
    if (period < std::chrono::duration<DurationRepT, DurationT>::zero()) {
      throw std::invalid_argument("timer period cannot be negative");
    }
    // Periods beyond the nanosecond range saturate instead of wrapping.
    constexpr auto max_period = std::chrono::nanoseconds::max();
    if (std::chrono::duration<long double, std::nano>(period) >
      std::chrono::duration<long double, std::nano>(max_period))
    {
      return max_period;
    }
    return std::chrono::duration_cast<std::chrono::nanoseconds>(period);
  }

  void add_timer(
    const rclcpp::TimerBase::SharedPtr & timer, rclcpp::CallbackGroup::SharedPtr group);

  const rclcpp::NodeOptions node_options_;
  rclcpp::node_interfaces::NodeBaseInterface::SharedPtr node_base_;
  std::shared_ptr<rclcpp::node_interfaces::NodeParameters> node_parameters_;
  rclcpp::Clock::SharedPtr clock_;
  std::unique_ptr<rclcpp::TimeSource> time_source_;
  rclcpp::Logger logger_;
};

}  // namespace rclcpp
