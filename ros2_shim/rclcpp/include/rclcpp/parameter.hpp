#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "rclcpp/exceptions/exceptions.hpp"
#include "rclcpp/parameter_value.hpp"

namespace rclcpp
{

class Parameter;

namespace detail
{

// get_value<T>() hands out the stored value for value types, and the value
// object or the whole parameter when those are asked for.
template<typename T>
decltype(auto) get_value_helper(const rclcpp::Parameter * parameter);

}  // namespace detail

/// A named parameter value.
class Parameter
{
public:
  Parameter();
  explicit Parameter(const std::string & name);
  Parameter(const std::string & name, const ParameterValue & value);

  template<typename ValueTypeT>
  Parameter(const std::string & name, ValueTypeT value)
  : Parameter(name, ParameterValue(value))
  {
  }

  bool operator==(const Parameter & rhs) const;
  bool operator!=(const Parameter & rhs) const;

  ParameterType get_type() const;
  std::string get_type_name() const;
  const std::string & get_name() const;
  const ParameterValue & get_parameter_value() const;

  /// Raises ParameterTypeException when the value holds another type.
  template<ParameterType ParamT>
  decltype(auto) get_value() const
  {
    return value_.get<ParamT>();
  }

  /// Raises exceptions::InvalidParameterTypeException (naming the parameter)
  /// when the value holds another type.
  template<typename T>
  decltype(auto) get_value() const;

  bool as_bool() const;
  int64_t as_int() const;
  double as_double() const;
  const std::string & as_string() const;
  const std::vector<uint8_t> & as_byte_array() const;
  const std::vector<bool> & as_bool_array() const;
  const std::vector<int64_t> & as_integer_array() const;
  const std::vector<double> & as_double_array() const;
  const std::vector<std::string> & as_string_array() const;

  std::string value_to_string() const;

private:
  std::string name_;
  ParameterValue value_;
};

std::ostream & operator<<(std::ostream & os, const rclcpp::Parameter & pv);
std::ostream & operator<<(std::ostream & os, const std::vector<Parameter> & parameters);

namespace detail
{

template<typename T>
decltype(auto) get_value_helper(const rclcpp::Parameter * parameter)
{
  return parameter->get_parameter_value().get<T>();
}

template<>
inline decltype(auto) get_value_helper<rclcpp::ParameterValue>(const rclcpp::Parameter * parameter)
{
  return parameter->get_parameter_value();
}

template<>
inline decltype(auto) get_value_helper<rclcpp::Parameter>(const rclcpp::Parameter * parameter)
{
  return *parameter;
}

}  // namespace detail

template<typename T>
decltype(auto) Parameter::get_value() const
{
  try {
    return detail::get_value_helper<T>(this);
  } catch (const ParameterTypeException & ex) {
    throw exceptions::InvalidParameterTypeException(this->name_, ex.what());
  }
}

}  // namespace rclcpp

namespace std
{

/// "{"name": value}" style text of one parameter.
std::string to_string(const rclcpp::Parameter & param);

std::string to_string(const std::vector<rclcpp::Parameter> & parameters);

}  // namespace std
