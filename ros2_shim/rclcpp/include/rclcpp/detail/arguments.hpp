#pragma once

// Command-line handling of the in-process ROS 2 stand-in.  With a real ROS 2
// this is rcl's job; here it is one parser shared by rclcpp::init (the global
// arguments) and by every node (its NodeOptions::arguments()).

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "rclcpp/detail/parameter_store.hpp"
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

/// The ROS part of a command line, parsed.
struct ParsedArguments
{
public:
  /// Parameter values for the node with this fully qualified name ("/ns/name")
  /// from the "--params-file" and "-p" arguments together, as
  /// ParameterStore::values_for gives them.
  std::map<std::string, rclcpp::ParameterValue>
  parameter_overrides_for(const std::string & fully_qualified_node_name) const
  {
    return parameters_.values_for(fully_qualified_node_name);
  }

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

  const std::vector<RemapRule> & remap_rules() const {return remap_rules_;}

private:
  friend ParsedArguments parse_arguments(const std::vector<std::string> & args);

  ParameterStore parameters_;
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

}  // namespace detail
}  // namespace rclcpp
