#include "rclcpp/detail/arguments.hpp"

#include <optional>
#include <regex>
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

// A run of name tokens as rcl's lexer reads it: "a__b" is the tokens "a_"
// and "_b", while a "__" that would start a token ("__x", "a___b") starts a
// special word instead.
bool is_token_run(const std::string & text)
{
  static const std::regex run("(?!__)[A-Za-z_][A-Za-z0-9_]*");
  return std::regex_match(text, run) && text.find("___") == std::string::npos;
}

std::vector<std::string> split_at(const std::string & text, char separator)
{
  std::vector<std::string> parts;
  size_t start = 0;
  for (size_t end = text.find(separator); end != std::string::npos;
    end = text.find(separator, start))
  {
    parts.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  parts.push_back(text.substr(start));
  return parts;
}

// "-p" names are parts joined with ".", each made of name tokens and "/"; a
// node name in front is one single token.  Wildcards belong to files only.
bool is_parameter_rule_name(const std::string & node, const std::string & name)
{
  if (!node.empty() && (!is_token_run(node) || node.find("__") != std::string::npos)) {
    return false;
  }
  for (const auto & part : split_at(name, '.')) {
    if (part.empty()) {
      return false;
    }
    for (const auto & piece : split_at(part, '/')) {
      if (!piece.empty() && !is_token_run(piece)) {
        return false;
      }
    }
  }
  return true;
}

// A rule without a node name belongs to every node: the "/**" section.
void add_parameter_rule(
  const std::string & flag, const std::string & text, ParameterStore & store)
{
  const SplitRule split = split_rule(flag, text);
  if (!is_parameter_rule_name(split.node, split.lhs)) {
    throw_invalid_ros_args("'" + flag + " " + text + "' is not of the form [node:]name:=value");
  }
  try {
    store.set(
      split.node.empty() ? std::string("/**") : split.node, split.lhs,
      parse_parameter_value_text(split.lhs, split.rhs));
  } catch (const ParameterSyntaxError & e) {
    throw_invalid_ros_args("'" + flag + " " + text + "': " + e.what());
  }
}

void add_parameters_file(const std::string & path, ParameterStore & store)
{
  try {
    load_parameters_file(path, store);
  } catch (const ParameterSyntaxError & e) {
    throw exceptions::RCLError(exceptions::RCLErrorBase(kRetError, e.what()), "");
  }
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
      add_parameter_rule(arg, value, parsed.parameters_);
    } else if (arg == "--params-file") {
      add_parameters_file(value, parsed.parameters_);
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
