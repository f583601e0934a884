// Node, namespace and topic name rules, as rcl and rmw apply them.
#pragma once

#include <string>

namespace rclcpp
{
namespace detail
{

/// Raises InvalidNodeNameError.
void validate_node_name(const std::string & node_name);
/// "" becomes "/", a relative namespace gets a leading "/".  Raises InvalidNamespaceError.
std::string normalize_namespace(const std::string & namespace_);
/// "/ns/name", or "/name" in the root namespace.
std::string fully_qualified_node_name(const std::string & node_name, const std::string & namespace_);
/// Expands "~", "{node}", "{ns}" and relative names to a fully qualified
/// name and validates it.  Raises InvalidTopicNameError (or
/// InvalidServiceNameError when is_service).
std::string expand_topic_name(
  const std::string & name, const std::string & node_name, const std::string & namespace_,
  bool is_service);

}  // namespace detail
}  // namespace rclcpp
