#pragma once

#include <list>
#include <string>

namespace ament_index_cpp
{

/// The existing directories listed in AMENT_PREFIX_PATH, in order.
/// Raises std::runtime_error when the variable is unset or empty.
std::list<std::string> get_search_paths();

}  // namespace ament_index_cpp
