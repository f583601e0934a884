#include "parameter_file.hpp"

#include <yaml-cpp/yaml.h>

#include <cerrno>
#include <cstdlib>
#include <limits>
#include <set>
#include <string>
#include <vector>

namespace rclcpp
{
namespace detail
{

namespace
{

const char kParametersKey[] = "ros__parameters";

std::string where(const YAML::Node & node)
{
  const YAML::Mark mark = node.Mark();
  return mark.is_null() ? std::string() : " at line " + std::to_string(mark.line + 1);
}

bool is_quoted(const YAML::Node & node)
{
  // yaml-cpp tags plain scalars "?" and quoted ones "!"; an explicit "!!str"
  // also makes a string.
  return node.Tag() == "!" || node.Tag() == "tag:yaml.org,2002:str";
}

// The typing rules of ROS 2 parameter files, in their order: bool words,
// integers (C prefixes for hex and octal included), floating point (with
// the YAML spellings of infinity and not-a-number), and everything else is
// a string.
ParameterValue type_scalar(const std::string & text, bool quoted)
{
  if (quoted) {
    return ParameterValue(text);
  }
  static const std::set<std::string> true_words{
    "Y", "y", "yes", "Yes", "YES", "true", "True", "TRUE", "on", "On", "ON"};
  static const std::set<std::string> false_words{
    "N", "n", "no", "No", "NO", "false", "False", "FALSE", "off", "Off", "OFF"};
  if (true_words.count(text)) {
    return ParameterValue(true);
  }
  if (false_words.count(text)) {
    return ParameterValue(false);
  }
  char * end = nullptr;
  errno = 0;
  const long long integer = std::strtoll(text.c_str(), &end, 0);
  if (errno == 0 && end != text.c_str() && *end == '\0') {
    return ParameterValue(static_cast<int64_t>(integer));
  }
  static const std::set<std::string> yaml_specials{
    ".nan", ".NaN", ".NAN", ".inf", ".Inf", ".INF", "+.inf", "+.Inf", "+.INF",
    "-.inf", "-.Inf", "-.INF"};
  if (yaml_specials.count(text)) {
    const bool negative = text[0] == '-';
    const bool infinite = text.find_first_of("iI") != std::string::npos;
    const double special = infinite ? std::numeric_limits<double>::infinity() :
      std::numeric_limits<double>::quiet_NaN();
    return ParameterValue(negative ? -special : special);
  }
  errno = 0;
  end = nullptr;
  const double floating = std::strtod(text.c_str(), &end);
  if (errno == 0 && end != text.c_str() && *end == '\0') {
    return ParameterValue(floating);
  }
  return ParameterValue(text);
}

ParameterValue scalar_value(const YAML::Node & node, const std::string & name)
{
  if (node.IsNull() && node.Scalar().empty() && !is_quoted(node)) {
    throw ParameterSyntaxError("parameter '" + name + "' has no value" + where(node));
  }
  return type_scalar(node.Scalar(), is_quoted(node));
}

template<typename T>
std::vector<T> collect(const std::vector<ParameterValue> & items)
{
  std::vector<T> values;
  values.reserve(items.size());
  for (const auto & item : items) {
    values.push_back(item.get<T>());
  }
  return values;
}

ParameterValue sequence_value(const YAML::Node & node, const std::string & name)
{
  if (node.size() == 0) {
    throw ParameterSyntaxError(
            "parameter '" + name + "' is an empty array, whose type cannot be told" + where(node));
  }
  std::vector<ParameterValue> items;
  for (const auto & element : node) {
    if (!element.IsScalar()) {
      throw ParameterSyntaxError(
              "parameter '" + name + "': arrays may only hold scalars" + where(element));
    }
    items.push_back(scalar_value(element, name));
    if (items.back().get_type() != items.front().get_type()) {
      throw ParameterSyntaxError(
              "parameter '" + name + "': array elements must all be of one type, found " +
              to_string(items.front().get_type()) + " and " + to_string(items.back().get_type()) +
              where(element));
    }
  }
  switch (items.front().get_type()) {
    case ParameterType::PARAMETER_BOOL: return ParameterValue(collect<bool>(items));
    case ParameterType::PARAMETER_INTEGER: return ParameterValue(collect<int64_t>(items));
    case ParameterType::PARAMETER_DOUBLE: return ParameterValue(collect<double>(items));
    default: return ParameterValue(collect<std::string>(items));
  }
}

ParameterValue node_value(const YAML::Node & node, const std::string & name)
{
  if (node.IsSequence()) {
    return sequence_value(node, name);
  }
  if (node.IsScalar() || node.IsNull()) {
    return scalar_value(node, name);
  }
  throw ParameterSyntaxError("parameter '" + name + "' has an unsupported value" + where(node));
}

std::string key_text(const YAML::Node & key)
{
  if (!key.IsScalar() || key.Scalar().empty()) {
    throw ParameterSyntaxError("keys must be non-empty names" + where(key));
  }
  return key.Scalar();
}

void read_parameters(
  const YAML::Node & map, const std::string & node_pattern, const std::string & prefix,
  std::vector<ParameterRule> & rules)
{
  for (const auto & entry : map) {
    const std::string name = prefix + key_text(entry.first);
    if (entry.second.IsMap()) {
      read_parameters(entry.second, node_pattern, name + ".", rules);
    } else {
      rules.push_back({node_pattern, name, node_value(entry.second, name)});
    }
  }
}

void read_nodes(
  const YAML::Node & map, const std::string & node_path, std::vector<ParameterRule> & rules)
{
  for (const auto & entry : map) {
    const std::string key = key_text(entry.first);
    if (key == kParametersKey) {
      if (node_path.empty()) {
        throw ParameterSyntaxError(
                std::string("'") + kParametersKey + "' must be inside a node name" +
                where(entry.first));
      }
      if (entry.second.IsNull()) {
        continue;
      }
      if (!entry.second.IsMap()) {
        throw ParameterSyntaxError(
                std::string("'") + kParametersKey + "' of '" + node_path + "' must be a map" +
                where(entry.second));
      }
      const std::string pattern = node_path.front() == '/' ? node_path : "/" + node_path;
      read_parameters(entry.second, pattern, "", rules);
    } else if (entry.second.IsMap()) {
      read_nodes(entry.second, node_path.empty() ? key : node_path + "/" + key, rules);
    } else {
      throw ParameterSyntaxError(
              "'" + key + "' must be a node name holding '" + kParametersKey + "'" +
              where(entry.first));
    }
  }
}

}  // namespace

ParameterValue parse_parameter_value_text(const std::string & name, const std::string & text)
{
  YAML::Node node;
  try {
    node = YAML::Load(text);
  } catch (const YAML::Exception & e) {
    throw ParameterSyntaxError("value of '" + name + "' is not valid YAML: " + e.msg);
  }
  return node_value(node, name);
}

std::vector<ParameterRule> load_parameters_file(const std::string & path)
{
  YAML::Node root;
  try {
    root = YAML::LoadFile(path);
  } catch (const YAML::BadFile &) {
    throw ParameterSyntaxError("cannot open parameters file '" + path + "'");
  } catch (const YAML::Exception & e) {
    throw ParameterSyntaxError("parameters file '" + path + "' is not valid YAML: " + e.what());
  }
  std::vector<ParameterRule> rules;
  if (root.IsNull()) {
    return rules;
  }
  try {
    if (!root.IsMap()) {
      throw ParameterSyntaxError("the top level must map node names to parameters");
    }
    read_nodes(root, "", rules);
  } catch (const ParameterSyntaxError & e) {
    throw ParameterSyntaxError("parameters file '" + path + "': " + e.what());
  }
  return rules;
}

}  // namespace detail
}  // namespace rclcpp
