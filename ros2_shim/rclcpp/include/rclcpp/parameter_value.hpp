#pragma once

#include <cstdint>
#include <ostream>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <vector>

namespace rclcpp
{

enum ParameterType : uint8_t
{
  PARAMETER_NOT_SET = 0,
  PARAMETER_BOOL = 1,
  PARAMETER_INTEGER = 2,
  PARAMETER_DOUBLE = 3,
  PARAMETER_STRING = 4,
  PARAMETER_BYTE_ARRAY = 5,
  PARAMETER_BOOL_ARRAY = 6,
  PARAMETER_INTEGER_ARRAY = 7,
  PARAMETER_DOUBLE_ARRAY = 8,
  PARAMETER_STRING_ARRAY = 9,
};

/// Name of the type as ROS prints it ("integer", "string_array", ...).
std::string to_string(ParameterType type);

std::ostream & operator<<(std::ostream & os, ParameterType type);

/// Raised when a value is read as a type it does not hold.
class ParameterTypeException : public std::runtime_error
{
public:
  ParameterTypeException(ParameterType expected, ParameterType actual);
};

/// A value of one of the parameter types, or nothing (PARAMETER_NOT_SET).
class ParameterValue
{
public:
  ParameterValue();
  explicit ParameterValue(const bool bool_value);
  explicit ParameterValue(const int int_value);
  explicit ParameterValue(const int64_t int_value);
  explicit ParameterValue(const float double_value);
  explicit ParameterValue(const double double_value);
  explicit ParameterValue(const std::string & string_value);
  explicit ParameterValue(const char * string_value);
  explicit ParameterValue(const std::vector<uint8_t> & byte_array_value);
  explicit ParameterValue(const std::vector<bool> & bool_array_value);
  explicit ParameterValue(const std::vector<int> & int_array_value);
  explicit ParameterValue(const std::vector<int64_t> & int_array_value);
  explicit ParameterValue(const std::vector<float> & double_array_value);
  explicit ParameterValue(const std::vector<double> & double_array_value);
  explicit ParameterValue(const std::vector<std::string> & string_array_value);

  ParameterType get_type() const;

  bool operator==(const ParameterValue & rhs) const;
  bool operator!=(const ParameterValue & rhs) const;

  // Access by enumerator.

  template<ParameterType type>
  typename std::enable_if<type == ParameterType::PARAMETER_BOOL, const bool &>::type
  get() const
  {
    require(type);
    return bool_value_;
  }

  template<ParameterType type>
  typename std::enable_if<type == ParameterType::PARAMETER_INTEGER, const int64_t &>::type
  get() const
  {
    require(type);
    return integer_value_;
  }

  template<ParameterType type>
  typename std::enable_if<type == ParameterType::PARAMETER_DOUBLE, const double &>::type
  get() const
  {
    require(type);
    return double_value_;
  }

  template<ParameterType type>
  typename std::enable_if<type == ParameterType::PARAMETER_STRING, const std::string &>::type
  get() const
  {
    require(type);
    return string_value_;
  }

  template<ParameterType type>
  typename std::enable_if<
    type == ParameterType::PARAMETER_BYTE_ARRAY, const std::vector<uint8_t> &>::type
  get() const
  {
    require(type);
    return byte_array_value_;
  }

  template<ParameterType type>
  typename std::enable_if<
    type == ParameterType::PARAMETER_BOOL_ARRAY, const std::vector<bool> &>::type
  get() const
  {
    require(type);
    return bool_array_value_;
  }

  template<ParameterType type>
  typename std::enable_if<
    type == ParameterType::PARAMETER_INTEGER_ARRAY, const std::vector<int64_t> &>::type
  get() const
  {
    require(type);
    return integer_array_value_;
  }

  template<ParameterType type>
  typename std::enable_if<
    type == ParameterType::PARAMETER_DOUBLE_ARRAY, const std::vector<double> &>::type
  get() const
  {
    require(type);
    return double_array_value_;
  }

  template<ParameterType type>
  typename std::enable_if<
    type == ParameterType::PARAMETER_STRING_ARRAY, const std::vector<std::string> &>::type
  get() const
  {
    require(type);
    return string_array_value_;
  }

  // Access by C++ type: every integral type reads an INTEGER, float and double
  // read a DOUBLE, as ROS does.

  template<typename type>
  typename std::enable_if<std::is_same<type, bool>::value, const bool &>::type
  get() const
  {
    return get<ParameterType::PARAMETER_BOOL>();
  }

  template<typename type>
  typename std::enable_if<
    std::is_integral<type>::value && !std::is_same<type, bool>::value, const int64_t &>::type
  get() const
  {
    return get<ParameterType::PARAMETER_INTEGER>();
  }

  template<typename type>
  typename std::enable_if<std::is_floating_point<type>::value, const double &>::type
  get() const
  {
    return get<ParameterType::PARAMETER_DOUBLE>();
  }

  template<typename type>
  typename std::enable_if<std::is_convertible<type, std::string>::value, const std::string &>::type
  get() const
  {
    return get<ParameterType::PARAMETER_STRING>();
  }

  template<typename type>
  typename std::enable_if<
    std::is_convertible<type, const std::vector<uint8_t> &>::value,
    const std::vector<uint8_t> &>::type
  get() const
  {
    return get<ParameterType::PARAMETER_BYTE_ARRAY>();
  }

  template<typename type>
  typename std::enable_if<
    std::is_convertible<type, const std::vector<bool> &>::value,
    const std::vector<bool> &>::type
  get() const
  {
    return get<ParameterType::PARAMETER_BOOL_ARRAY>();
  }

  template<typename type>
  typename std::enable_if<
    std::is_convertible<type, const std::vector<int> &>::value ||
    std::is_convertible<type, const std::vector<int64_t> &>::value,
    const std::vector<int64_t> &>::type
  get() const
  {
    return get<ParameterType::PARAMETER_INTEGER_ARRAY>();
  }

  template<typename type>
  typename std::enable_if<
    std::is_convertible<type, const std::vector<float> &>::value ||
    std::is_convertible<type, const std::vector<double> &>::value,
    const std::vector<double> &>::type
  get() const
  {
    return get<ParameterType::PARAMETER_DOUBLE_ARRAY>();
  }

  template<typename type>
  typename std::enable_if<
    std::is_convertible<type, const std::vector<std::string> &>::value,
    const std::vector<std::string> &>::type
  get() const
  {
    return get<ParameterType::PARAMETER_STRING_ARRAY>();
  }

  template<typename type>
  typename std::enable_if<std::is_same<type, ParameterValue>::value, const ParameterValue &>::type
  get() const
  {
    return *this;
  }

private:
  void require(ParameterType expected) const;

  ParameterType type_{ParameterType::PARAMETER_NOT_SET};
  bool bool_value_{false};
  int64_t integer_value_{0};
  double double_value_{0.0};
  std::string string_value_;
  std::vector<uint8_t> byte_array_value_;
  std::vector<bool> bool_array_value_;
  std::vector<int64_t> integer_array_value_;
  std::vector<double> double_array_value_;
  std::vector<std::string> string_array_value_;
};

/// The value as text: "true", "42", "0.500000", "[1, 2]", "not set".
std::string to_string(const ParameterValue & value);

}  // namespace rclcpp
