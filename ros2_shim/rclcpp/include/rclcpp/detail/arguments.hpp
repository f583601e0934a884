#pragma once

// Command-line handling of the in-process ROS 2 stand-in.  With a real ROS 2
// this is rcl's job; here it is one parser shared by rclcpp::init (the global
// arguments) and by every node (its NodeOptions::arguments()).

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "rclcpp/parameter_value.hpp"

namespace rclcpp
{
namespace detail
{

/// One "-r" rule: `[node:]from:=to`.  An empty node_name applies to every node.
struct RemapRule
{
  std::string node_name;
  std::string from;
  std::string to;
  /// "rosservice://" rules rename services only, never topics.
  bool services_only{false};
};

/// One parameter assignment from "-p" or a parameters file, in the order given.
/// node_pattern is a fully qualified node name that may hold the wildcards
/// "*" (one name token) and "**" (any number of tokens), e.g. "/**".
struct ParameterRule
{
  std::string node_pattern;
  std::string name;
  rclcpp::ParameterValue value;
};

/// The ROS part of a command line, parsed.
struct ParsedArguments
{
public:
  /// Parameter values for the node with this fully qualified name ("/ns/name"):
  /// every matching rule in command-line order, a later rule replacing an
  /// earlier one.
  std::map<std::string, rclcpp::ParameterValue>
  parameter_overrides_for(const std::string & fully_qualified_node_name) const;

  /// The topic after the first matching topic rule for this node, or the
  /// topic itself.  Relative and "~" names in rules are expanded against the
  /// node's namespace and name first.
  std::string remap_topic(
    const std::string & fully_qualified_topic, const std::string & node_name,
    const std::string & node_namespace) const;

  /// The first "__node:=" rule for a node of this (original) name, if any.
  std::optional<std::string> node_name_override(const std::string & node_name) const;

  /// The first "__ns:=" rule for a node of this (original) name, if any.
  std::optional<std::string> namespace_override(const std::string & node_name) const;

  /// The arguments that are not ROS arguments, argv[0] first.
  const std::vector<std::string> & unparsed() const {return unparsed_;}

  const std::vector<ParameterRule> & parameter_rules() const {return parameter_rules_;}
  const std::vector<RemapRule> & remap_rules() const {return remap_rules_;}

private:
  friend ParsedArguments parse_arguments(const std::vector<std::string> & args);

  std::vector<ParameterRule> parameter_rules_;
  std::vector<RemapRule> remap_rules_;
  std::vector<RemapRule> node_name_rules_;
  std::vector<RemapRule> namespace_rules_;
  std::vector<std::string> unparsed_;
};

/// Parses a whole command line (argv[0] included).  ROS arguments are those
/// between "--ros-args" and "--" or the end; "--ros-args" may appear again.
///
/// Raises exceptions::UnknownROSArgsError for flags no rule understands,
/// exceptions::RCLInvalidROSArgsError for a malformed rule or a missing value,
/// exceptions::RCLError (naming the file) for a parameters file that cannot be
/// read or is not a valid ROS 2 parameters file.
ParsedArguments parse_arguments(const std::vector<std::string> & args);

/// The command line (argv[0] first) without its ROS arguments, as
/// rclcpp::remove_ros_arguments gives it; raises what parse_arguments raises.
std::vector<std::string> remove_ros_arguments(const std::vector<std::string> & args);

/// Whether a fully qualified node name matches a node pattern of a
/// parameters file or rule ("/**", "/*/camera", "/robot/object_detect").
bool node_pattern_matches(const std::string & pattern, const std::string & fully_qualified_name);

}  // namespace detail
}  // namespace rclcpp
