#pragma once

#include <map>
#include <string>

namespace ament_index_cpp
{

/// Resource names of one type mapped to the first prefix holding each.
/// Raises std::runtime_error when the type is empty.
std::map<std::string, std::string> get_resources(const std::string & resource_type);

}  // namespace ament_index_cpp
