#pragma once

// The parameter overrides of one command line, kept the way rcl keeps them:
// one store of node sections for all "--params-file" and "-p" arguments, and
// rclcpp's way of reading a node's values out of it.

#include <map>
#include <string>
#include <vector>

#include "rclcpp/parameter_value.hpp"

namespace rclcpp
{
namespace detail
{

class ParameterStore
{
public:
  /// Gives `parameter` of the section `node_name` (its name as written:
  /// "/**", "object_detect", "/ns/node") a value.  A new section goes to the
  /// end; an existing one keeps its place.  The parameter holds one value
  /// per type, so a value replaces only an earlier one of its own type.  An
  /// unset value (an empty array) creates the parameter without a value.
  void set(
    const std::string & node_name, const std::string & parameter,
    const rclcpp::ParameterValue & value);

  /// The values for the node of this fully qualified name: every section
  /// that matches it, in stored order, a later one replacing an earlier one.
  /// Of a parameter's values the first set in type order counts (bool,
  /// integer, double, string, then the arrays).  Raises
  /// exceptions::InvalidParameterValueException for a parameter of a
  /// matching section that holds no value.
  std::map<std::string, rclcpp::ParameterValue>
  values_for(const std::string & fully_qualified_node_name) const;

private:
  // ParameterType order is the order in which a value is chosen.
  using Values = std::map<rclcpp::ParameterType, rclcpp::ParameterValue>;

  struct Section
  {
    std::string node_name;
    std::map<std::string, Values> parameters;
  };

  std::vector<Section> sections_;
};

/// Whether a section's node name ("/**", "/*/camera", "object_detect")
/// covers the node of this fully qualified name: "/*" stands for one name
/// token, "/**" for any number of them, a name without "/" is at the root.
bool section_matches(const std::string & node_name, const std::string & fully_qualified_node_name);

}  // namespace detail
}  // namespace rclcpp
