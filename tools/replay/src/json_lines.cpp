#include "json_lines.hpp"

#include <cmath>
#include <stdexcept>

#include <google/protobuf/util/json_util.h>

namespace replay
{

google::protobuf::Value number(double value)
{
  google::protobuf::Value out;
  // JSON has no NaN or infinity.
  if (std::isfinite(value)) {
    out.set_number_value(value);
  } else {
    out.set_null_value(google::protobuf::NULL_VALUE);
  }
  return out;
}

google::protobuf::Value text(const std::string & value)
{
  google::protobuf::Value out;
  out.set_string_value(value);
  return out;
}

google::protobuf::Value numbers(const std::vector<double> & values)
{
  google::protobuf::Value out;
  out.mutable_list_value();  // an empty list stays a list
  for (const double value : values) {
    *out.mutable_list_value()->add_values() = number(value);
  }
  return out;
}

google::protobuf::Value list(const std::vector<google::protobuf::Value> & values)
{
  google::protobuf::Value out;
  out.mutable_list_value();  // an empty list stays a list
  for (const auto & value : values) {
    *out.mutable_list_value()->add_values() = value;
  }
  return out;
}

google::protobuf::Value object(const Json & value)
{
  google::protobuf::Value out;
  *out.mutable_struct_value() = value;
  return out;
}

Json json(std::initializer_list<std::pair<const char *, google::protobuf::Value>> fields)
{
  Json out;
  for (const auto & [key, value] : fields) {
    (*out.mutable_fields())[key] = value;
  }
  return out;
}

std::string toJson(const Json & value, bool indent)
{
  google::protobuf::util::JsonPrintOptions options;
  options.add_whitespace = indent;
  std::string out;
  if (!google::protobuf::util::MessageToJsonString(value, &out, options).ok()) {
    throw std::runtime_error("a value JSON cannot hold");
  }
  return out;
}

JsonLines::JsonLines(const std::string & file)
: out_(file)
{
  if (!out_) {
    throw std::runtime_error("cannot write " + file);
  }
}

void JsonLines::write(const Json & line)
{
  out_ << toJson(line) << std::endl;
}

}  // namespace replay
