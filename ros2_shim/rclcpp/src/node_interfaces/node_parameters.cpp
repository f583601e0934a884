#include "rclcpp/node_interfaces/node_parameters.hpp"

#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "rclcpp/detail/arguments.hpp"

namespace rclcpp
{
namespace node_interfaces
{

namespace
{

std::string fully_qualified(const std::string & node_name, const std::string & node_namespace)
{
  std::string ns = node_namespace;
  while (!ns.empty() && ns.back() == '/') {
    ns.pop_back();
  }
  if (!ns.empty() && ns.front() != '/') {
    ns.insert(ns.begin(), '/');
  }
  return ns + "/" + node_name;
}

std::string wrong_type_reason(
  const std::string & name, ParameterType declared, ParameterType requested)
{
  return "Wrong parameter type, parameter {" + name + "} is of type {" + to_string(declared) +
         "}, setting it to {" + to_string(requested) + "} is not allowed.";
}

void merge(
  std::map<std::string, ParameterValue> & into, std::map<std::string, ParameterValue> && from)
{
  for (auto & entry : from) {
    into[entry.first] = std::move(entry.second);
  }
}

// Clears the "modification enabled" flag for the duration of the callbacks,
// also when one of them throws.
class ModificationGuard
{
public:
  explicit ModificationGuard(bool & enabled)
  : enabled_(enabled) {enabled_ = false;}
  ~ModificationGuard() {enabled_ = true;}
  ModificationGuard(const ModificationGuard &) = delete;
  ModificationGuard & operator=(const ModificationGuard &) = delete;

private:
  bool & enabled_;
};

}  // namespace

NodeParameters::NodeParameters(
  const std::string & node_name, const std::string & node_namespace,
  const rclcpp::NodeOptions & options, const rclcpp::detail::ParsedArguments * global_arguments)
: fully_qualified_name_(fully_qualified(node_name, node_namespace)),
  allow_undeclared_(options.allow_undeclared_parameters())
{
  if (global_arguments != nullptr && options.use_global_arguments()) {
    merge(overrides_, global_arguments->parameter_overrides_for(fully_qualified_name_));
  }
  merge(
    overrides_,
    rclcpp::detail::parse_arguments(options.arguments())
    .parameter_overrides_for(fully_qualified_name_));
  for (const auto & parameter : options.parameter_overrides()) {
    overrides_[parameter.get_name()] = parameter.get_parameter_value();
  }

  if (options.automatically_declare_parameters_from_overrides()) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    for (const auto & entry : overrides_) {
      declare_locked(entry.first, entry.second, ParameterType::PARAMETER_NOT_SET, true, true);
    }
  }
}

NodeParameters::~NodeParameters() = default;

void NodeParameters::require_modification_allowed() const
{
  if (!modification_enabled_) {
    throw exceptions::ParameterModifiedInCallbackException(
            "cannot set or declare a parameter, or change the callback from within set callback");
  }
}

const ParameterValue & NodeParameters::declare_parameter(
  const std::string & name, const ParameterValue & default_value, bool ignore_override)
{
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  if (default_value.get_type() == ParameterType::PARAMETER_NOT_SET) {
    throw exceptions::InvalidParameterTypeException(
            name, "cannot declare a statically typed parameter with an uninitialized value");
  }
  return declare_locked(name, default_value, default_value.get_type(), false, ignore_override);
}

const ParameterValue & NodeParameters::declare_parameter(
  const std::string & name, ParameterType type, bool ignore_override)
{
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  if (type == ParameterType::PARAMETER_NOT_SET) {
    throw std::invalid_argument(
            "declare_parameter(): the provided parameter type cannot be PARAMETER_NOT_SET");
  }
  return declare_locked(name, ParameterValue(), type, false, ignore_override);
}

const ParameterValue & NodeParameters::declare_locked(
  const std::string & name, const ParameterValue & default_value, ParameterType type,
  bool dynamic_typing, bool ignore_override)
{
  require_modification_allowed();
  if (name.empty()) {
    throw exceptions::InvalidParametersException("parameter name must not be empty");
  }
  if (parameters_.count(name) > 0) {
    throw exceptions::ParameterAlreadyDeclaredException(
            "parameter '" + name + "' has already been declared");
  }

  ParameterInfo info;
  info.dynamic_typing = dynamic_typing;
  info.type = type;
  const ParameterValue * initial = &default_value;
  if (!ignore_override) {
    const auto found = overrides_.find(name);
    if (found != overrides_.end() && found->second.get_type() != ParameterType::PARAMETER_NOT_SET) {
      initial = &found->second;
    }
  }

  if (initial->get_type() != ParameterType::PARAMETER_NOT_SET) {
    if (!dynamic_typing && initial->get_type() != type) {
      throw exceptions::InvalidParameterTypeException(
              name, wrong_type_reason(name, type, initial->get_type()));
    }
    const auto result = call_callbacks({Parameter(name, *initial)});
    if (!result.successful) {
      throw exceptions::InvalidParameterValueException(
              "parameter '" + name + "' could not be set: " + result.reason);
    }
    info.value = *initial;
  }
  return parameters_.emplace(name, std::move(info)).first->second.value;
}

void NodeParameters::undeclare_parameter(const std::string & name)
{
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  require_modification_allowed();
  const auto found = parameters_.find(name);
  if (found == parameters_.end()) {
    throw exceptions::ParameterNotDeclaredException(
            "cannot undeclare parameter '" + name + "' which has not yet been declared");
  }
  if (!found->second.dynamic_typing) {
    throw exceptions::InvalidParameterTypeException(
            name, "cannot undeclare a statically typed parameter");
  }
  parameters_.erase(found);
}

bool NodeParameters::has_parameter(const std::string & name) const
{
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  return parameters_.count(name) > 0;
}

std::vector<rcl_interfaces::msg::SetParametersResult>
NodeParameters::set_parameters(const std::vector<Parameter> & parameters)
{
  std::vector<rcl_interfaces::msg::SetParametersResult> results;
  results.reserve(parameters.size());
  for (const auto & parameter : parameters) {
    results.push_back(set_parameters_atomically({parameter}));
  }
  return results;
}

rcl_interfaces::msg::SetParametersResult
NodeParameters::set_parameters_atomically(const std::vector<Parameter> & parameters)
{
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  require_modification_allowed();

  // Staged copies of every entry the batch touches; undeclared names become
  // dynamically typed entries when allowed.
  std::map<std::string, ParameterInfo> staged;
  for (const auto & parameter : parameters) {
    const std::string & name = parameter.get_name();
    if (name.empty()) {
      throw exceptions::InvalidParametersException("parameter name must not be empty");
    }
    const auto found = parameters_.find(name);
    if (found != parameters_.end()) {
      staged.emplace(name, found->second);
    } else if (allow_undeclared_) {
      ParameterInfo info;
      info.dynamic_typing = true;
      staged.emplace(name, info);
    } else {
      throw exceptions::ParameterNotDeclaredException(
              "parameter '" + name + "' cannot be set because it was not declared");
    }
  }

  rcl_interfaces::msg::SetParametersResult result;
  for (const auto & parameter : parameters) {
    const ParameterInfo & info = staged.at(parameter.get_name());
    if (!info.dynamic_typing && parameter.get_type() != info.type) {
      result.successful = false;
      result.reason = wrong_type_reason(parameter.get_name(), info.type, parameter.get_type());
      return result;
    }
  }

  result = call_callbacks(parameters);
  if (!result.successful) {
    return result;
  }
  for (const auto & parameter : parameters) {
    const std::string & name = parameter.get_name();
    if (parameter.get_type() == ParameterType::PARAMETER_NOT_SET) {
      // Setting a dynamically typed parameter to "not set" undeclares it.
      parameters_.erase(name);
      continue;
    }
    ParameterInfo info = staged.at(name);
    info.value = parameter.get_parameter_value();
    parameters_[name] = std::move(info);
  }
  return result;
}

rcl_interfaces::msg::SetParametersResult NodeParameters::call_callbacks(
  const std::vector<Parameter> & parameters)
{
  rcl_interfaces::msg::SetParametersResult result;
  result.successful = true;
  ModificationGuard guard(modification_enabled_);
  for (auto it = callbacks_.begin(); it != callbacks_.end(); ) {
    const auto handle = it->lock();
    if (!handle) {
      it = callbacks_.erase(it);
      continue;
    }
    result = handle->callback(parameters);
    if (!result.successful) {
      return result;
    }
    ++it;
  }
  return result;
}

std::vector<Parameter> NodeParameters::get_parameters(const std::vector<std::string> & names) const
{
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  std::vector<Parameter> found;
  found.reserve(names.size());
  for (const auto & name : names) {
    found.push_back(get_parameter(name));
  }
  return found;
}

Parameter NodeParameters::get_parameter(const std::string & name) const
{
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  const auto found = parameters_.find(name);
  if (found != parameters_.end()) {
    if (found->second.value.get_type() != ParameterType::PARAMETER_NOT_SET ||
      found->second.dynamic_typing)
    {
      return Parameter(name, found->second.value);
    }
    throw exceptions::ParameterUninitializedException(name);
  }
  if (allow_undeclared_) {
    return Parameter(name);
  }
  throw exceptions::ParameterNotDeclaredException(name);
}

bool NodeParameters::get_parameter(const std::string & name, Parameter & parameter) const
{
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  const auto found = parameters_.find(name);
  if (found == parameters_.end() ||
    found->second.value.get_type() == ParameterType::PARAMETER_NOT_SET)
  {
    return false;
  }
  parameter = Parameter(name, found->second.value);
  return true;
}

bool NodeParameters::get_parameters_by_prefix(
  const std::string & prefix, std::map<std::string, Parameter> & parameters) const
{
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  const std::string lead = prefix.empty() ? prefix : prefix + ".";
  bool any = false;
  for (const auto & entry : parameters_) {
    if (entry.first.size() > lead.size() && entry.first.compare(0, lead.size(), lead) == 0) {
      parameters[entry.first.substr(lead.size())] = Parameter(entry.first, entry.second.value);
      any = true;
    }
  }
  return any;
}

std::vector<ParameterType> NodeParameters::get_parameter_types(
  const std::vector<std::string> & names) const
{
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  std::vector<ParameterType> types;
  types.reserve(names.size());
  for (const auto & name : names) {
    const auto found = parameters_.find(name);
    types.push_back(
      found == parameters_.end() ? ParameterType::PARAMETER_NOT_SET :
      found->second.value.get_type());
  }
  return types;
}

std::vector<std::string> NodeParameters::get_parameter_names() const
{
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  std::vector<std::string> names;
  names.reserve(parameters_.size());
  for (const auto & entry : parameters_) {
    names.push_back(entry.first);
  }
  return names;
}

OnSetParametersCallbackHandle::SharedPtr
NodeParameters::add_on_set_parameters_callback(OnParametersSetCallbackType callback)
{
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  require_modification_allowed();
  auto handle = std::make_shared<OnSetParametersCallbackHandle>();
  handle->callback = std::move(callback);
  callbacks_.emplace_front(handle);
  return handle;
}

void NodeParameters::remove_on_set_parameters_callback(
  const OnSetParametersCallbackHandle * const handler)
{
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  require_modification_allowed();
  for (auto it = callbacks_.begin(); it != callbacks_.end(); ++it) {
    if (handler != nullptr && it->lock().get() == handler) {
      callbacks_.erase(it);
      return;
    }
  }
  throw std::runtime_error("Callback doesn't exist");
}

const std::map<std::string, ParameterValue> & NodeParameters::get_parameter_overrides() const
{
  return overrides_;
}

const std::string & NodeParameters::get_fully_qualified_name() const
{
  return fully_qualified_name_;
}

}  // namespace node_interfaces
}  // namespace rclcpp
