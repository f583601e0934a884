#pragma once

#include <string>

namespace ament_index_cpp
{

/// Reads the resource's marker file of the first prefix that holds it.
/// Raises std::runtime_error when a name is empty.
bool get_resource(
  const std::string & resource_type, const std::string & resource_name, std::string & content,
  std::string * prefix_path = nullptr);

}  // namespace ament_index_cpp
