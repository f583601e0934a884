#include "rclcpp/parameter_value.hpp"

#include <sstream>

namespace rclcpp
{

std::string to_string(ParameterType type)
{
  switch (type) {
    case ParameterType::PARAMETER_NOT_SET: return "not set";
    case ParameterType::PARAMETER_BOOL: return "bool";
    case ParameterType::PARAMETER_INTEGER: return "integer";
    case ParameterType::PARAMETER_DOUBLE: return "double";
    case ParameterType::PARAMETER_STRING: return "string";
    case ParameterType::PARAMETER_BYTE_ARRAY: return "byte_array";
    case ParameterType::PARAMETER_BOOL_ARRAY: return "bool_array";
    case ParameterType::PARAMETER_INTEGER_ARRAY: return "integer_array";
    case ParameterType::PARAMETER_DOUBLE_ARRAY: return "double_array";
    case ParameterType::PARAMETER_STRING_ARRAY: return "string_array";
  }
  return "unknown type";
}

std::ostream & operator<<(std::ostream & os, ParameterType type)
{
  return os << to_string(type);
}

ParameterTypeException::ParameterTypeException(ParameterType expected, ParameterType actual)
: std::runtime_error("expected [" + to_string(expected) + "] got [" + to_string(actual) + "]")
{
}

ParameterValue::ParameterValue() = default;

ParameterValue::ParameterValue(const bool bool_value)
: type_(ParameterType::PARAMETER_BOOL), bool_value_(bool_value) {}

ParameterValue::ParameterValue(const int int_value)
: type_(ParameterType::PARAMETER_INTEGER), integer_value_(int_value) {}

ParameterValue::ParameterValue(const int64_t int_value)
: type_(ParameterType::PARAMETER_INTEGER), integer_value_(int_value) {}

ParameterValue::ParameterValue(const float double_value)
: type_(ParameterType::PARAMETER_DOUBLE), double_value_(double_value) {}

ParameterValue::ParameterValue(const double double_value)
: type_(ParameterType::PARAMETER_DOUBLE), double_value_(double_value) {}

ParameterValue::ParameterValue(const std::string & string_value)
: type_(ParameterType::PARAMETER_STRING), string_value_(string_value) {}

ParameterValue::ParameterValue(const char * string_value)
: ParameterValue(std::string(string_value)) {}

ParameterValue::ParameterValue(const std::vector<uint8_t> & byte_array_value)
: type_(ParameterType::PARAMETER_BYTE_ARRAY), byte_array_value_(byte_array_value) {}

ParameterValue::ParameterValue(const std::vector<bool> & bool_array_value)
: type_(ParameterType::PARAMETER_BOOL_ARRAY), bool_array_value_(bool_array_value) {}

ParameterValue::ParameterValue(const std::vector<int> & int_array_value)
: type_(ParameterType::PARAMETER_INTEGER_ARRAY),
  integer_array_value_(int_array_value.begin(), int_array_value.end()) {}

ParameterValue::ParameterValue(const std::vector<int64_t> & int_array_value)
: type_(ParameterType::PARAMETER_INTEGER_ARRAY), integer_array_value_(int_array_value) {}

ParameterValue::ParameterValue(const std::vector<float> & double_array_value)
: type_(ParameterType::PARAMETER_DOUBLE_ARRAY),
  double_array_value_(double_array_value.begin(), double_array_value.end()) {}

ParameterValue::ParameterValue(const std::vector<double> & double_array_value)
: type_(ParameterType::PARAMETER_DOUBLE_ARRAY), double_array_value_(double_array_value) {}

ParameterValue::ParameterValue(const std::vector<std::string> & string_array_value)
: type_(ParameterType::PARAMETER_STRING_ARRAY), string_array_value_(string_array_value) {}

ParameterType ParameterValue::get_type() const
{
  return type_;
}

void ParameterValue::require(ParameterType expected) const
{
  if (type_ != expected) {
    throw ParameterTypeException(expected, type_);
  }
}

bool ParameterValue::operator==(const ParameterValue & rhs) const
{
  if (type_ != rhs.type_) {
    return false;
  }
  switch (type_) {
    case ParameterType::PARAMETER_NOT_SET: return true;
    case ParameterType::PARAMETER_BOOL: return bool_value_ == rhs.bool_value_;
    case ParameterType::PARAMETER_INTEGER: return integer_value_ == rhs.integer_value_;
    case ParameterType::PARAMETER_DOUBLE: return double_value_ == rhs.double_value_;
    case ParameterType::PARAMETER_STRING: return string_value_ == rhs.string_value_;
    case ParameterType::PARAMETER_BYTE_ARRAY: return byte_array_value_ == rhs.byte_array_value_;
    case ParameterType::PARAMETER_BOOL_ARRAY: return bool_array_value_ == rhs.bool_array_value_;
    case ParameterType::PARAMETER_INTEGER_ARRAY:
      return integer_array_value_ == rhs.integer_array_value_;
    case ParameterType::PARAMETER_DOUBLE_ARRAY:
      return double_array_value_ == rhs.double_array_value_;
    case ParameterType::PARAMETER_STRING_ARRAY:
      return string_array_value_ == rhs.string_array_value_;
  }
  return false;
}

bool ParameterValue::operator!=(const ParameterValue & rhs) const
{
  return !(*this == rhs);
}

namespace
{

template<typename T>
std::string array_to_string(const std::vector<T> & values)
{
  std::ostringstream out;
  out << std::boolalpha << "[";
  for (size_t i = 0; i < values.size(); ++i) {
    if (i > 0) {
      out << ", ";
    }
    if constexpr (std::is_same<T, uint8_t>::value) {
      out << static_cast<int>(values[i]);
    } else {
      out << values[i];
    }
  }
  out << "]";
  return out.str();
}

}  // namespace

std::string to_string(const ParameterValue & value)
{
  switch (value.get_type()) {
    case ParameterType::PARAMETER_NOT_SET: return "not set";
    case ParameterType::PARAMETER_BOOL: return value.get<bool>() ? "true" : "false";
    case ParameterType::PARAMETER_INTEGER: return std::to_string(value.get<int64_t>());
    case ParameterType::PARAMETER_DOUBLE: return std::to_string(value.get<double>());
    case ParameterType::PARAMETER_STRING: return value.get<std::string>();
    case ParameterType::PARAMETER_BYTE_ARRAY:
      return array_to_string(value.get<std::vector<uint8_t>>());
    case ParameterType::PARAMETER_BOOL_ARRAY:
      return array_to_string(value.get<std::vector<bool>>());
    case ParameterType::PARAMETER_INTEGER_ARRAY:
      return array_to_string(value.get<std::vector<int64_t>>());
    case ParameterType::PARAMETER_DOUBLE_ARRAY:
      return array_to_string(value.get<std::vector<double>>());
    case ParameterType::PARAMETER_STRING_ARRAY:
      return array_to_string(value.get<std::vector<std::string>>());
  }
  return "unknown type";
}

}  // namespace rclcpp
