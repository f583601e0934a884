#include <list>
#include <map>
#include <stdexcept>
#include <string>

#include "ament_index_cpp/get_package_prefix.hpp"
#include "ament_index_cpp/get_package_share_directory.hpp"
#include "ament_index_cpp/get_packages_with_prefixes.hpp"
#include "ament_index_cpp/get_resources.hpp"
#include "ament_index_cpp/get_search_paths.hpp"
#include "ament_index_cpp/has_resource.hpp"

namespace ament_index_cpp
{

namespace
{

std::string not_found_message(const std::string & package_name)
{
  std::string message = "package '" + package_name + "' not found";
  try {
    std::string searched;
    for (const auto & path : get_search_paths()) {
      searched += (searched.empty() ? "" : ", ") + path;
    }
    message += ", searching: [" + searched + "]";
  } catch (const std::runtime_error &) {
    // No search path at all: the plain message says enough.
  }
  return message;
}

}  // namespace

PackageNotFoundError::PackageNotFoundError(const std::string & package_name_)
: std::out_of_range(not_found_message(package_name_)), package_name(package_name_)
{
}

PackageNotFoundError::~PackageNotFoundError() = default;

std::string get_package_prefix(const std::string & package_name)
{
  std::string prefix;
  if (!has_resource("packages", package_name, &prefix)) {
    throw PackageNotFoundError(package_name);
  }
  return prefix;
}

std::string get_package_share_directory(const std::string & package_name)
{
  return get_package_prefix(package_name) + "/share/" + package_name;
}

std::map<std::string, std::string> get_packages_with_prefixes()
{
  return get_resources("packages");
}

}  // namespace ament_index_cpp
