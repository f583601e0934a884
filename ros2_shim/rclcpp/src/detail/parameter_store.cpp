#include "rclcpp/detail/parameter_store.hpp"

#include <algorithm>
#include <regex>

#include "rclcpp/exceptions/exceptions.hpp"

namespace rclcpp
{
namespace detail
{

void ParameterStore::set(
  const std::string & node_name, const std::string & parameter, const ParameterValue & value)
{
  auto section = std::find_if(
    sections_.begin(), sections_.end(),
    [&node_name](const Section & s) {return s.node_name == node_name;});
  if (section == sections_.end()) {
    section = sections_.insert(sections_.end(), Section{node_name, {}});
  }
  Values & values = section->parameters[parameter];
  if (value.get_type() != ParameterType::PARAMETER_NOT_SET) {
    values[value.get_type()] = value;
  }
}

std::map<std::string, ParameterValue>
ParameterStore::values_for(const std::string & fully_qualified_node_name) const
{
  std::map<std::string, ParameterValue> chosen;
  for (const auto & section : sections_) {
    if (!section_matches(section.node_name, fully_qualified_node_name)) {
      continue;
    }
    for (const auto & [name, values] : section.parameters) {
      if (values.empty()) {
        throw exceptions::InvalidParameterValueException("No parameter value set");
      }
      chosen[name] = values.begin()->second;
    }
  }
  return chosen;
}

bool section_matches(const std::string & node_name, const std::string & fully_qualified_node_name)
{
  const std::string absolute =
    !node_name.empty() && node_name.front() == '/' ? node_name : "/" + node_name;
  // "/**" becomes "(/\w+)*": the "/*" replaced, the second "*" repeating it.
  std::string pattern;
  size_t start = 0;
  for (size_t wildcard = absolute.find("/*"); wildcard != std::string::npos;
    wildcard = absolute.find("/*", start))
  {
    pattern += absolute.substr(start, wildcard - start) + "(/\\w+)";
    start = wildcard + 2;
  }
  pattern += absolute.substr(start);
  return std::regex_match(fully_qualified_node_name, std::regex(pattern));
}

}  // namespace detail
}  // namespace rclcpp
