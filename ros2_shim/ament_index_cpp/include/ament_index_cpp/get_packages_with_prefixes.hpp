#pragma once

#include <map>
#include <string>

namespace ament_index_cpp
{

/// Every registered package mapped to its installation prefix.
std::map<std::string, std::string> get_packages_with_prefixes();

}  // namespace ament_index_cpp
