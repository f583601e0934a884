#include <exception>
#include <filesystem>
#include <system_error>
#include <utility>

#include "ament_index_cpp/get_package_share_directory.hpp"
#include "quorvane_object_detect/camera_config.hpp"

namespace quorvane::camera_config
{

namespace
{

std::string dotted(const std::vector<std::string> & keys, size_t count)
{
  std::string text;
  for (size_t i = 0; i < count; ++i) {
    text += (i == 0 ? "" : ".") + keys[i];
  }
  return text;
}

}  // namespace

std::string packageConfigPath(const std::string & name)
{
  return ament_index_cpp::get_package_share_directory("quorvane_object_detect") + "/config/" +
         name;
}

std::string cameraSection(int camera_id)
{
  return "camera_0" + std::to_string(camera_id);
}

ConfigFile::ConfigFile(std::string role, std::string path)
: role_(std::move(role)), path_(std::move(path))
{
  if (path_.empty()) {
    fail("no file name given");
  }
  // The loader cannot tell a folder from a file: it fails reading (and leaks
  // its buffer doing so).
  std::error_code ignored;
  if (std::filesystem::is_directory(path_, ignored)) {
    fail("cannot be loaded: it is a folder, not a file");
  }
  try {
    root_ = YAML::LoadFile(path_);
  } catch (const std::exception & e) {
    fail(std::string("cannot be loaded: ") + e.what());
  }
}

void ConfigFile::fail(const std::string & why) const
{
  throw ConfigFileError(role_ + " \"" + path_ + "\": " + why);
}

YAML::Node ConfigFile::scalar(const std::vector<std::string> & keys) const
{
  // Nodes are copied, never assigned: assigning a YAML::Node rewrites the tree.
  std::vector<YAML::Node> chain{root_};
  chain.reserve(keys.size() + 1);
  for (size_t i = 0; i < keys.size(); ++i) {
    const YAML::Node & parent = chain.back();
    if (!parent.IsMap()) {
      fail(i == 0 ? "the top level is not a mapping" :
        "key \"" + dotted(keys, i) + "\" is not a mapping");
    }
    chain.push_back(parent[keys[i]]);
    if (!chain.back().IsDefined()) {
      fail("key \"" + dotted(keys, i + 1) + "\" is missing");
    }
  }
  if (!chain.back().IsScalar()) {
    fail("key \"" + dotted(keys, keys.size()) + "\" holds no single value");
  }
  return chain.back();
}

float ConfigFile::number(const std::vector<std::string> & keys) const
{
  const YAML::Node node = scalar(keys);
  try {
    return node.as<float>();
  } catch (const YAML::Exception &) {
    fail("key \"" + dotted(keys, keys.size()) + "\": \"" + node.Scalar() + "\" is not a number");
  }
}

int ConfigFile::integer(const std::vector<std::string> & keys) const
{
  const YAML::Node node = scalar(keys);
  try {
    return node.as<int>();
  } catch (const YAML::Exception &) {
    fail("key \"" + dotted(keys, keys.size()) + "\": \"" + node.Scalar() +
      "\" is not an integer");
  }
}

}  // namespace quorvane::camera_config
