#include "parameter_file.hpp"

#include <yaml-cpp/yaml.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <set>
#include <sstream>
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

std::string key_text(const YAML::Node & key)
{
  if (!key.IsScalar() || key.Scalar().empty()) {
    throw ParameterSyntaxError("keys must be non-empty names" + where(key));
  }
  return key.Scalar();
}

// Reads the parameters of one YAML text, kept to tell how a scalar was written.
class YamlReader
{
public:
  explicit YamlReader(const std::string & source)
  : source_(source) {}

  ParameterValue value(const YAML::Node & node, const std::string & name) const
  {
    if (node.IsSequence()) {
      return sequence_value(node, name);
    }
    if (node.IsScalar() || node.IsNull()) {
      return scalar_value(node, name);
    }
    throw ParameterSyntaxError("parameter '" + name + "' has an unsupported value" + where(node));
  }

  void read_nodes(
    const YAML::Node & map, const std::string & node_path, ParameterStore & store) const
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
        read_parameters(entry.second, node_path, "", store);
      } else if (entry.second.IsMap()) {
        read_nodes(entry.second, node_path.empty() ? key : node_path + "/" + key, store);
      } else {
        throw ParameterSyntaxError(
                "'" + key + "' must be a node name holding '" + kParametersKey + "'" +
                where(entry.first));
      }
    }
  }

private:
  // rcl types a scalar from its text unless it is written in quotes; a tag
  // or anchor in front does not count.  yaml-cpp marks quoted, tagged and
  // block scalars alike, so the text at the scalar decides.
  bool is_quoted(const YAML::Node & node) const
  {
    if (node.Tag() == "?" || node.Tag().empty()) {
      return false;
    }
    size_t at = node.Mark().pos;
    while (at < source_.size() && (source_[at] == '!' || source_[at] == '&')) {
      at = source_.find_first_not_of(" \t\r\n", source_.find_first_of(" \t\r\n", at));
    }
    return at < source_.size() && (source_[at] == '"' || source_[at] == '\'');
  }

  ParameterValue scalar_value(const YAML::Node & node, const std::string & name) const
  {
    if (node.IsNull()) {
      throw ParameterSyntaxError("parameter '" + name + "' has no value" + where(node));
    }
    return type_scalar(node.Scalar(), is_quoted(node));
  }

  // An empty array gives no value: its type cannot be told.
  ParameterValue sequence_value(const YAML::Node & node, const std::string & name) const
  {
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
                to_string(items.front().get_type()) + " and " +
                to_string(items.back().get_type()) + where(element));
      }
    }
    if (items.empty()) {
      return ParameterValue();
    }
    switch (items.front().get_type()) {
      case ParameterType::PARAMETER_BOOL: return ParameterValue(collect<bool>(items));
      case ParameterType::PARAMETER_INTEGER: return ParameterValue(collect<int64_t>(items));
      case ParameterType::PARAMETER_DOUBLE: return ParameterValue(collect<double>(items));
      default: return ParameterValue(collect<std::string>(items));
    }
  }

  void read_parameters(
    const YAML::Node & map, const std::string & node_name, const std::string & prefix,
    ParameterStore & store) const
  {
    for (const auto & entry : map) {
      const std::string name = prefix + key_text(entry.first);
      if (entry.second.IsMap()) {
        read_parameters(entry.second, node_name, name + ".", store);
      } else {
        store.set(node_name, name, value(entry.second, name));
      }
    }
  }

  const std::string & source_;
};

}  // namespace

ParameterValue parse_parameter_value_text(const std::string & name, const std::string & text)
{
  YAML::Node node;
  try {
    node = YAML::Load(text);
  } catch (const YAML::Exception & e) {
    throw ParameterSyntaxError("value of '" + name + "' is not valid YAML: " + e.msg);
  }
  return YamlReader(text).value(node, name);
}

void load_parameters_file(const std::string & path, ParameterStore & store)
{
  std::ifstream file(path);
  if (!file) {
    throw ParameterSyntaxError("cannot open parameters file '" + path + "'");
  }
  std::ostringstream text;
  text << file.rdbuf();
  const std::string source = text.str();
  YAML::Node root;
  try {
    root = YAML::Load(source);
  } catch (const YAML::Exception & e) {
    throw ParameterSyntaxError("parameters file '" + path + "' is not valid YAML: " + e.what());
  }
  if (root.IsNull()) {
    return;
  }
  try {
    if (!root.IsMap()) {
      throw ParameterSyntaxError("the top level must map node names to parameters");
    }
    YamlReader(source).read_nodes(root, "", store);
  } catch (const ParameterSyntaxError & e) {
    throw ParameterSyntaxError("parameters file '" + path + "': " + e.what());
  }
}

}  // namespace detail
}  // namespace rclcpp
