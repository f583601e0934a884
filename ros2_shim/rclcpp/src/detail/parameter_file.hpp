#pragma once

#include <stdexcept>
#include <string>

#include "rclcpp/detail/parameter_store.hpp"
#include "rclcpp/parameter_value.hpp"

namespace rclcpp
{
namespace detail
{

/// Raised by the readers below; the text says what is wrong and where.
class ParameterSyntaxError : public std::runtime_error
{
public:
  using std::runtime_error::runtime_error;
};

/// Types a "-p name:=value" value the way a parameters file types it:
/// 1 integer, 1.0 double, true bool, '1' string, [a, b] string array; an
/// empty array gives an unset value.
rclcpp::ParameterValue parse_parameter_value_text(const std::string & name,
  const std::string & text);

/// Reads a ROS 2 parameters file into `store`, in file order: node keys
/// ("/**", "name", "/ns/name", or nested namespace maps), each holding
/// "ros__parameters"; nested maps below it are joined with ".".
void load_parameters_file(const std::string & path, ParameterStore & store);

}  // namespace detail
}  // namespace rclcpp
