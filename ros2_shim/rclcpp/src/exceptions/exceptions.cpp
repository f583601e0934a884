#include "rclcpp/exceptions/exceptions.hpp"

#include <string>
#include <utility>

namespace rclcpp
{
namespace exceptions
{

NameValidationError::NameValidationError(
  const char * name_type_, const char * name_, const char * error_msg_, size_t invalid_index_)
: std::invalid_argument(format_error(name_type_, name_, error_msg_, invalid_index_)),
  name_type(name_type_), name(name_), error_msg(error_msg_), invalid_index(invalid_index_)
{
}

std::string NameValidationError::format_error(
  const char * name_type, const char * name, const char * error_msg, size_t invalid_index)
{
  // The second line points at the offending character under the name.
  std::string text = std::string("Invalid ") + name_type + ": " + error_msg + ":\n  '" + name +
    "'\n   " + std::string(invalid_index, ' ') + "^\n";
  return text;
}

RCLErrorBase::RCLErrorBase(
  int ret_, const std::string & message_, const std::string & file_, size_t line_)
: ret(ret_), message(message_), file(file_), line(line_),
  formatted_message(file_.empty() ? message_ :
    message_ + ", at " + file_ + ":" + std::to_string(line_))
{
}

RCLError::RCLError(const RCLErrorBase & base_exc, const std::string & prefix)
: RCLErrorBase(base_exc), std::runtime_error(prefix + base_exc.formatted_message)
{
}

RCLBadAlloc::RCLBadAlloc(const RCLErrorBase & base_exc)
: RCLErrorBase(base_exc), std::bad_alloc()
{
}

RCLInvalidArgument::RCLInvalidArgument(const RCLErrorBase & base_exc, const std::string & prefix)
: RCLErrorBase(base_exc), std::invalid_argument(prefix + base_exc.formatted_message)
{
}

RCLInvalidROSArgsError::RCLInvalidROSArgsError(
  const RCLErrorBase & base_exc, const std::string & prefix)
: RCLErrorBase(base_exc), std::runtime_error(prefix + base_exc.formatted_message)
{
}

namespace
{

std::string join_quoted(const std::vector<std::string> & items)
{
  std::string text;
  for (size_t i = 0; i < items.size(); ++i) {
    text += (i == 0 ? "'" : ", '") + items[i] + "'";
  }
  return text;
}

}  // namespace

UnknownROSArgsError::UnknownROSArgsError(std::vector<std::string> && unknown_ros_args_in)
: std::runtime_error("found unknown ROS arguments: " + join_quoted(unknown_ros_args_in)),
  unknown_ros_args(std::move(unknown_ros_args_in))
{
}

}  // namespace exceptions
}  // namespace rclcpp
