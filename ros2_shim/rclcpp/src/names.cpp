#include "rclcpp/detail/names.hpp"

#include <cctype>

#include "rclcpp/exceptions.hpp"

namespace rclcpp
{
namespace detail
{
namespace
{

bool is_name_char(char c)
{
  return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
}

[[noreturn]] void bad_topic(
  const std::string & name, const char * why, size_t index, bool is_service)
{
  if (is_service) {
    throw exceptions::InvalidServiceNameError(name.c_str(), why, index);
  }
  throw exceptions::InvalidTopicNameError(name.c_str(), why, index);
}

// Tokens between '/' must be non-empty and must not start with a digit.
// Returns the index of the first fault, or npos.
size_t token_fault(const std::string & name, const char ** why)
{
  for (size_t i = 0; i < name.size(); ++i) {
    const char c = name[i];
    if (c == '/') {
      if (i + 1 < name.size() && name[i + 1] == '/') {
        *why = "must not contain repeated '/'";
        return i + 1;
      }
      continue;
    }
    if (!is_name_char(c)) {
      *why = "must contain only alphanumerics, '_' and '/'";
      return i;
    }
    if ((i == 0 || name[i - 1] == '/') && std::isdigit(static_cast<unsigned char>(c))) {
      *why = "a name token must not start with a number";
      return i;
    }
  }
  return std::string::npos;
}

}  // namespace

void validate_node_name(const std::string & node_name)
{
  if (node_name.empty()) {
    throw exceptions::InvalidNodeNameError(node_name.c_str(), "node name must not be empty", 0);
  }
  for (size_t i = 0; i < node_name.size(); ++i) {
    if (!is_name_char(node_name[i])) {
      throw exceptions::InvalidNodeNameError(
              node_name.c_str(), "node name must not contain characters other than alphanumerics or '_'", i);
    }
  }
  if (std::isdigit(static_cast<unsigned char>(node_name[0]))) {
    throw exceptions::InvalidNodeNameError(
            node_name.c_str(), "node name must not start with a number", 0);
  }
}

std::string normalize_namespace(const std::string & namespace_)
{
  std::string normalized = namespace_.empty() ? "/" : namespace_;
  if (normalized[0] != '/') {
    normalized.insert(normalized.begin(), '/');
  }
  if (normalized.size() > 1 && normalized.back() == '/') {
    throw exceptions::InvalidNamespaceError(
            normalized.c_str(), "namespace must not end with '/', unless only '/'",
            normalized.size() - 1);
  }
  const char * why = "";
  const size_t fault = token_fault(normalized, &why);
  if (fault != std::string::npos) {
    throw exceptions::InvalidNamespaceError(normalized.c_str(), why, fault);
  }
  return normalized;
}

std::string fully_qualified_node_name(const std::string & node_name, const std::string & namespace_)
{
  return namespace_ == "/" ? "/" + node_name : namespace_ + "/" + node_name;
}

std::string expand_topic_name(
  const std::string & name, const std::string & node_name, const std::string & namespace_,
  bool is_service)
{
  if (name.empty()) {
    bad_topic(name, "topic name must not be empty", 0, is_service);
  }
  const std::string fqn = fully_qualified_node_name(node_name, namespace_);
  std::string expanded;
  size_t i = 0;
  if (name[0] == '~') {
    if (name.size() > 1 && name[1] != '/') {
      bad_topic(name, "'~' must be followed by '/' or end the name", 1, is_service);
    }
    expanded = fqn;
    i = 1;
  } else if (name[0] != '/') {
    expanded = namespace_ == "/" ? "/" : namespace_ + "/";
  }
  while (i < name.size()) {
    const char c = name[i];
    if (c == '{') {
      const size_t close = name.find('}', i);
      if (close == std::string::npos) {
        bad_topic(name, "unmatched '{'", i, is_service);
      }
      const std::string key = name.substr(i + 1, close - i - 1);
      if (key == "node") {
        expanded += node_name;
      } else if (key == "ns" || key == "namespace") {
        // The root namespace contributes nothing but its separator.
        expanded += namespace_ == "/" ? "" : namespace_.substr(1);
      } else {
        bad_topic(name, "unknown substitution", i, is_service);
      }
      i = close + 1;
      continue;
    }
    if (c == '~') {
      bad_topic(name, "'~' is only allowed at the start", i, is_service);
    }
    expanded += c;
    ++i;
  }
  if (expanded.size() > 1 && expanded.back() == '/') {
    bad_topic(name, "topic name must not end with '/'", name.size() - 1, is_service);
  }
  const char * why = "";
  const size_t fault = token_fault(expanded, &why);
  if (fault != std::string::npos || expanded == "/") {
    bad_topic(expanded, fault != std::string::npos ? why : "topic name must not be '/'",
      fault != std::string::npos ? fault : 0, is_service);
  }
  return expanded;
}

}  // namespace detail
}  // namespace rclcpp
