#include "rclcpp/detail/arguments.hpp"

#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "parameter_file.hpp"
#include "rclcpp/exceptions/exceptions.hpp"

namespace rclcpp
{
namespace detail
{

namespace
{

// Return codes carried by the exceptions, as rcl numbers them.
constexpr int kRetError = 1;
constexpr int kRetInvalidRosArgs = 1003;

[[noreturn]] void throw_invalid_ros_args(const std::string & text)
{
  throw exceptions::RCLInvalidROSArgsError(
          exceptions::RCLErrorBase(kRetInvalidRosArgs, text), "failed to parse arguments: ");
}

const std::set<std::string> kFlagsWithValue{
  "-e", "--enclave", "--log-level", "--log-config-file"};
const std::set<std::string> kFlagsAlone{
  "--enable-rosout-logs", "--disable-rosout-logs", "--enable-stdout-logs",
  "--disable-stdout-logs", "--enable-external-lib-logs", "--disable-external-lib-logs"};

std::string absolute_pattern(const std::string & node)
{
  return !node.empty() && node.front() == '/' ? node : "/" + node;
}

// Splits "[node:]lhs:=rhs" of a -r or -p rule.  The node part ends at the
// first ':' that is not the start of a "://" scheme.
struct SplitRule
{
  std::string node;
  std::string lhs;
  std::string rhs;
};

SplitRule split_rule(const std::string & flag, const std::string & rule)
{
  const size_t assign = rule.find(":=");
  if (assign == std::string::npos || assign == 0) {
    throw_invalid_ros_args("'" + flag + " " + rule + "' is not of the form [node:]name:=value");
  }
  SplitRule split;
  split.rhs = rule.substr(assign + 2);
  std::string lhs = rule.substr(0, assign);
  const size_t colon = lhs.find(':');
  const bool has_node = colon != std::string::npos && lhs.compare(colon, 3, "://") != 0;
  if (has_node) {
    split.node = lhs.substr(0, colon);
    lhs = lhs.substr(colon + 1);
  }
  split.lhs = lhs;
  if (split.lhs.empty() || (has_node && split.node.empty())) {
    throw_invalid_ros_args("'" + flag + " " + rule + "' is not of the form [node:]name:=value");
  }
  return split;
}

void add_remap_rule(
  const std::string & flag, const std::string & text, std::vector<RemapRule> & topics,
  std::vector<RemapRule> & node_names, std::vector<RemapRule> & namespaces)
{
  SplitRule split = split_rule(flag, text);
  if (split.rhs.empty()) {
    throw_invalid_ros_args("'" + flag + " " + text + "' has nothing to remap to");
  }
  RemapRule rule{split.node, split.lhs, split.rhs, false};
  if (rule.from == "__node" || rule.from == "__name") {
    if (rule.to.find('/') != std::string::npos) {
      throw_invalid_ros_args("node name '" + rule.to + "' must not contain '/'");
    }
    node_names.push_back(rule);
    return;
  }
  if (rule.from == "__ns") {
    if (rule.to.front() != '/') {
      throw_invalid_ros_args("namespace '" + rule.to + "' must be absolute (start with '/')");
    }
    namespaces.push_back(rule);
    return;
  }
  if (rule.from.compare(0, 2, "__") == 0) {
    throw_invalid_ros_args("unknown special name '" + rule.from + "' in '" + text + "'");
  }
  static const std::string topic_scheme = "rostopic://";
  static const std::string service_scheme = "rosservice://";
  if (rule.from.compare(0, topic_scheme.size(), topic_scheme) == 0) {
    rule.from = rule.from.substr(topic_scheme.size());
  } else if (rule.from.compare(0, service_scheme.size(), service_scheme) == 0) {
    rule.from = rule.from.substr(service_scheme.size());
    rule.services_only = true;
  }
  topics.push_back(rule);
}

void add_parameter_rule(
  const std::string & flag, const std::string & text, std::vector<ParameterRule> & rules)
{
  const SplitRule split = split_rule(flag, text);
  try {
    rules.push_back({
        split.node.empty() ? std::string("/**") : absolute_pattern(split.node), split.lhs,
        parse_parameter_value_text(split.lhs, split.rhs)});
  } catch (const ParameterSyntaxError & e) {
    throw_invalid_ros_args("'" + flag + " " + text + "': " + e.what());
  }
}

void add_parameters_file(const std::string & path, std::vector<ParameterRule> & rules)
{
  try {
    for (auto & rule : load_parameters_file(path)) {
      rules.push_back(std::move(rule));
    }
  } catch (const ParameterSyntaxError & e) {
    throw exceptions::RCLError(exceptions::RCLErrorBase(kRetError, e.what()), "");
  }
}

std::vector<std::string> tokens_of(const std::string & name)
{
  std::vector<std::string> tokens;
  size_t start = 0;
  while (start <= name.size()) {
    size_t end = name.find('/', start);
    if (end == std::string::npos) {
      end = name.size();
    }
    if (end > start) {
      tokens.push_back(name.substr(start, end - start));
    }
    start = end + 1;
  }
  return tokens;
}

bool tokens_match(
  const std::vector<std::string> & pattern, size_t p, const std::vector<std::string> & name,
  size_t n)
{
  if (p == pattern.size()) {
    return n == name.size();
  }
  if (pattern[p] == "**") {
    for (size_t skip = n; skip <= name.size(); ++skip) {
      if (tokens_match(pattern, p + 1, name, skip)) {
        return true;
      }
    }
    return false;
  }
  if (n == name.size()) {
    return false;
  }
  return (pattern[p] == "*" || pattern[p] == name[n]) && tokens_match(pattern, p + 1, name, n + 1);
}

std::string namespace_with_slash(const std::string & node_namespace)
{
  std::string ns = node_namespace;
  while (!ns.empty() && ns.back() == '/') {
    ns.pop_back();
  }
  if (!ns.empty() && ns.front() != '/') {
    ns.insert(ns.begin(), '/');
  }
  return ns + "/";
}

// Relative names live in the node's namespace, "~" names below the node.
std::string expand_name(
  const std::string & name, const std::string & node_name, const std::string & node_namespace)
{
  if (name.empty() || name.front() == '/') {
    return name;
  }
  const std::string ns = namespace_with_slash(node_namespace);
  if (name.front() == '~') {
    return ns + node_name + name.substr(1);
  }
  return ns + name;
}

std::optional<std::string> first_rule_for(
  const std::vector<RemapRule> & rules, const std::string & node_name)
{
  for (const auto & rule : rules) {
    if (rule.node_name.empty() || rule.node_name == node_name) {
      return rule.to;
    }
  }
  return std::nullopt;
}

}  // namespace

bool node_pattern_matches(const std::string & pattern, const std::string & fully_qualified_name)
{
  return tokens_match(tokens_of(pattern), 0, tokens_of(fully_qualified_name), 0);
}

std::map<std::string, ParameterValue>
ParsedArguments::parameter_overrides_for(const std::string & fully_qualified_node_name) const
{
  std::map<std::string, ParameterValue> overrides;
  for (const auto & rule : parameter_rules_) {
    if (node_pattern_matches(rule.node_pattern, fully_qualified_node_name)) {
      overrides[rule.name] = rule.value;
    }
  }
  return overrides;
}

std::string ParsedArguments::remap_topic(
  const std::string & fully_qualified_topic, const std::string & node_name,
  const std::string & node_namespace) const
{
  for (const auto & rule : remap_rules_) {
    if (rule.services_only || (!rule.node_name.empty() && rule.node_name != node_name)) {
      continue;
    }
    if (expand_name(rule.from, node_name, node_namespace) == fully_qualified_topic) {
      return expand_name(rule.to, node_name, node_namespace);
    }
  }
  return fully_qualified_topic;
}

std::optional<std::string> ParsedArguments::node_name_override(const std::string & node_name) const
{
  return first_rule_for(node_name_rules_, node_name);
}

std::optional<std::string> ParsedArguments::namespace_override(const std::string & node_name) const
{
  return first_rule_for(namespace_rules_, node_name);
}

ParsedArguments parse_arguments(const std::vector<std::string> & args)
{
  ParsedArguments parsed;
  std::vector<std::string> unknown;
  bool ros_section = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string & arg = args[i];
    if (!ros_section) {
      if (arg == "--ros-args") {
        ros_section = true;
      } else {
        parsed.unparsed_.push_back(arg);
      }
      continue;
    }
    if (arg == "--") {
      ros_section = false;
      continue;
    }
    if (arg == "--ros-args") {
      continue;
    }
    const bool takes_value = arg == "-r" || arg == "--remap" || arg == "-p" || arg == "--param" ||
      arg == "--params-file" || kFlagsWithValue.count(arg) > 0;
    if (!takes_value) {
      if (kFlagsAlone.count(arg) == 0) {
        unknown.push_back(arg);
      }
      continue;
    }
    if (i + 1 >= args.size()) {
      throw_invalid_ros_args("'" + arg + "' needs a value");
    }
    const std::string & value = args[++i];
    if (arg == "-r" || arg == "--remap") {
      add_remap_rule(
        arg, value, parsed.remap_rules_, parsed.node_name_rules_, parsed.namespace_rules_);
    } else if (arg == "-p" || arg == "--param") {
      add_parameter_rule(arg, value, parsed.parameter_rules_);
    } else if (arg == "--params-file") {
      add_parameters_file(value, parsed.parameter_rules_);
    }
  }
  if (!unknown.empty()) {
    throw exceptions::UnknownROSArgsError(std::move(unknown));
  }
  return parsed;
}

std::vector<std::string> remove_ros_arguments(const std::vector<std::string> & args)
{
  return parse_arguments(args).unparsed();
}

}  // namespace detail
}  // namespace rclcpp
