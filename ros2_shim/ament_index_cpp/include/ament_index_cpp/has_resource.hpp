#pragma once

#include <string>

namespace ament_index_cpp
{

/// Whether some prefix holds the resource; its prefix goes to prefix_path.
/// Raises std::runtime_error when a name is empty.
bool has_resource(
  const std::string & resource_type, const std::string & resource_name,
  std::string * prefix_path = nullptr);

}  // namespace ament_index_cpp
