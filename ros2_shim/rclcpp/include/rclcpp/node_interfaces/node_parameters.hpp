#pragma once

#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "rcl_interfaces/msg/set_parameters_result.hpp"
#include "rclcpp/exceptions/exceptions.hpp"
#include "rclcpp/node_interfaces/node_parameters_interface.hpp"
#include "rclcpp/node_options.hpp"
#include "rclcpp/parameter.hpp"
#include "rclcpp/parameter_value.hpp"

namespace rclcpp
{
namespace detail
{
struct ParsedArguments;
}  // namespace detail

namespace node_interfaces
{

/// The parameters of one node.  Thread-safe; the set-parameters callbacks
/// run under the node's (recursive) lock, so they may read the node's
/// parameters but not change them.
class NodeParameters : public NodeParametersInterface
{
public:
  using SharedPtr = std::shared_ptr<NodeParameters>;
  using WeakPtr = std::weak_ptr<NodeParameters>;

  /// Collects the overrides for "<node_namespace>/<node_name>", lowest
  /// precedence first: the global arguments (when given and
  /// options.use_global_arguments()), options.arguments(), then
  /// options.parameter_overrides().  With
  /// options.automatically_declare_parameters_from_overrides() every
  /// override is declared here, dynamically typed.
  ///
  /// Raises what detail::parse_arguments raises for a bad options.arguments(),
  /// and exceptions::InvalidParameterValueException for an override that
  /// holds no value (only ever given an empty array).
  NodeParameters(
    const std::string & node_name, const std::string & node_namespace,
    const rclcpp::NodeOptions & options,
    const rclcpp::detail::ParsedArguments * global_arguments);

  ~NodeParameters() override;

  NodeParameters(const NodeParameters &) = delete;
  NodeParameters & operator=(const NodeParameters &) = delete;

  /// Declares a parameter typed by its default; an override, unless ignored,
  /// replaces the default.  Raises ParameterAlreadyDeclaredException,
  /// InvalidParameterTypeException (override of another type, or an unset
  /// default), InvalidParameterValueException (a callback refused the value).
  const rclcpp::ParameterValue & declare_parameter(
    const std::string & name, const rclcpp::ParameterValue & default_value,
    bool ignore_override = false) override;

  /// Declares a parameter of a fixed type without a default: it holds the
  /// override if one exists, else nothing until set.
  const rclcpp::ParameterValue & declare_parameter(
    const std::string & name, rclcpp::ParameterType type, bool ignore_override = false) override;

  /// Typed form of declare_parameter: returns the value the parameter got.
  template<typename ParameterT>
  auto declare_parameter(
    const std::string & name, const ParameterT & default_value, bool ignore_override = false)
  {
    try {
      return declare_parameter(name, rclcpp::ParameterValue(default_value), ignore_override)
             .template get<ParameterT>();
    } catch (const rclcpp::ParameterTypeException & ex) {
      throw rclcpp::exceptions::InvalidParameterTypeException(name, ex.what());
    }
  }

  void undeclare_parameter(const std::string & name) override;

  bool has_parameter(const std::string & name) const override;

  /// One atomic set per parameter.  A parameter that was not declared raises
  /// ParameterNotDeclaredException unless undeclared parameters are allowed.
  std::vector<rcl_interfaces::msg::SetParametersResult>
  set_parameters(const std::vector<rclcpp::Parameter> & parameters) override;

  /// All or nothing: a parameter of the wrong (static) type or a callback
  /// that refuses gives an unsuccessful result and changes nothing.
  rcl_interfaces::msg::SetParametersResult
  set_parameters_atomically(const std::vector<rclcpp::Parameter> & parameters) override;

  std::vector<rclcpp::Parameter>
  get_parameters(const std::vector<std::string> & names) const override;

  /// Raises ParameterNotDeclaredException unless undeclared parameters are
  /// allowed (then an unset parameter comes back).
  rclcpp::Parameter get_parameter(const std::string & name) const override;

  /// False when the parameter is not declared or holds no value.
  bool get_parameter(const std::string & name, rclcpp::Parameter & parameter) const override;

  /// Typed read: false when absent; an existing parameter of another type
  /// raises InvalidParameterTypeException.  INTEGER converts to any integral
  /// type and DOUBLE to float or double by a plain cast.
  template<typename ParameterT>
  bool get_parameter(const std::string & name, ParameterT & value) const
  {
    rclcpp::Parameter parameter;
    if (!get_parameter(name, parameter)) {
      return false;
    }
    value = static_cast<ParameterT>(parameter.get_value<ParameterT>());
    return true;
  }

  /// Typed read with a fallback: value is the parameter or the alternative.
  template<typename ParameterT>
  bool get_parameter_or(
    const std::string & name, ParameterT & value, const ParameterT & alternative_value) const
  {
    const bool got = get_parameter(name, value);
    if (!got) {
      value = alternative_value;
    }
    return got;
  }

  /// Parameters named "<prefix>.<rest>", keyed by <rest>; all of them for an
  /// empty prefix.  False when there is none.
  bool get_parameters_by_prefix(
    const std::string & prefix,
    std::map<std::string, rclcpp::Parameter> & parameters) const override;

  std::vector<rclcpp::ParameterType>
  get_parameter_types(const std::vector<std::string> & names) const override;

  /// Names of all declared parameters, sorted.
  std::vector<std::string> get_parameter_names() const;

  /// The callback runs on every set (and every declaration with a value);
  /// the one added last runs first, and the first refusal ends the round.
  OnSetParametersCallbackHandle::SharedPtr
  add_on_set_parameters_callback(OnParametersSetCallbackType callback) override;

  /// Raises std::runtime_error when the handle is not registered.
  void remove_on_set_parameters_callback(
    const OnSetParametersCallbackHandle * const handler) override;

  const std::map<std::string, rclcpp::ParameterValue> & get_parameter_overrides() const override;

  /// "/<namespace>/<name>", the name parameter files and rules are matched against.
  const std::string & get_fully_qualified_name() const;

private:
  struct ParameterInfo
  {
    rclcpp::ParameterValue value;
    bool dynamic_typing{false};
    rclcpp::ParameterType type{rclcpp::ParameterType::PARAMETER_NOT_SET};
  };

  const rclcpp::ParameterValue & declare_locked(
    const std::string & name, const rclcpp::ParameterValue & default_value,
    rclcpp::ParameterType type, bool dynamic_typing, bool ignore_override);

  rcl_interfaces::msg::SetParametersResult call_callbacks(
    const std::vector<rclcpp::Parameter> & parameters);

  void require_modification_allowed() const;

  std::string fully_qualified_name_;
  bool allow_undeclared_;
  std::map<std::string, rclcpp::ParameterValue> overrides_;
  std::map<std::string, ParameterInfo> parameters_;
  std::list<OnSetParametersCallbackHandle::WeakPtr> callbacks_;
  // False while callbacks run: they must not change parameters or callbacks.
  bool modification_enabled_{true};
  mutable std::recursive_mutex mutex_;
};

}  // namespace node_interfaces
}  // namespace rclcpp
