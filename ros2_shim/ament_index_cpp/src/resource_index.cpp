#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <list>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <system_error>

#include "ament_index_cpp/get_resource.hpp"
#include "ament_index_cpp/get_resources.hpp"
#include "ament_index_cpp/get_search_paths.hpp"
#include "ament_index_cpp/has_resource.hpp"

namespace ament_index_cpp
{

namespace
{

namespace fs = std::filesystem;

const char kResourceIndex[] = "share/ament_index/resource_index";

void require_name(const char * function, const char * what, const std::string & value)
{
  if (value.empty()) {
    throw std::runtime_error(
            std::string("ament_index_cpp::") + function + "() " + what + " must not be empty");
  }
}

fs::path resource_path(
  const std::string & prefix, const std::string & resource_type, const std::string & resource_name)
{
  return fs::path(prefix) / kResourceIndex / resource_type / resource_name;
}

bool is_file(const fs::path & path)
{
  std::error_code error;
  return fs::is_regular_file(path, error);
}

}  // namespace

std::list<std::string> get_search_paths()
{
  const char * value = std::getenv("AMENT_PREFIX_PATH");
  if (value == nullptr || value[0] == '\0') {
    throw std::runtime_error("Environment variable 'AMENT_PREFIX_PATH' is not set or empty");
  }
  std::list<std::string> paths;
  std::stringstream list(value);
  std::string path;
  while (std::getline(list, path, ':')) {
    std::error_code error;
    if (!path.empty() && fs::is_directory(path, error)) {
      paths.push_back(path);
    }
  }
  return paths;
}

bool has_resource(
  const std::string & resource_type, const std::string & resource_name, std::string * prefix_path)
{
  require_name("has_resource", "resource_type", resource_type);
  require_name("has_resource", "resource_name", resource_name);
  for (const auto & prefix : get_search_paths()) {
    if (is_file(resource_path(prefix, resource_type, resource_name))) {
      if (prefix_path != nullptr) {
        *prefix_path = prefix;
      }
      return true;
    }
  }
  return false;
}

bool get_resource(
  const std::string & resource_type, const std::string & resource_name, std::string & content,
  std::string * prefix_path)
{
  require_name("get_resource", "resource_type", resource_type);
  require_name("get_resource", "resource_name", resource_name);
  for (const auto & prefix : get_search_paths()) {
    const fs::path path = resource_path(prefix, resource_type, resource_name);
    if (!is_file(path)) {
      continue;
    }
    std::ifstream file(path, std::ios::binary);
    if (!file) {
      throw std::runtime_error("could not read resource file '" + path.string() + "'");
    }
    std::ostringstream text;
    text << file.rdbuf();
    content = text.str();
    if (prefix_path != nullptr) {
      *prefix_path = prefix;
    }
    return true;
  }
  return false;
}

std::map<std::string, std::string> get_resources(const std::string & resource_type)
{
  require_name("get_resources", "resource_type", resource_type);
  std::map<std::string, std::string> resources;
  for (const auto & prefix : get_search_paths()) {
    std::error_code error;
    fs::directory_iterator entries(fs::path(prefix) / kResourceIndex / resource_type, error);
    if (error) {
      continue;
    }
    for (const auto & entry : entries) {
      const std::string name = entry.path().filename().string();
      // Hidden files are editor or tool leftovers, not resources; an earlier
      // prefix shadows a later one.
      if (!name.empty() && name.front() != '.' && is_file(entry.path())) {
        resources.emplace(name, prefix);
      }
    }
  }
  return resources;
}

}  // namespace ament_index_cpp
