#pragma once

// Typed reads of YAML settings whose errors name the offending key.

#include <initializer_list>
#include <stdexcept>
#include <string>

#include <yaml-cpp/yaml.h>

namespace pelorin
{
namespace perception
{

// Leaves out unchanged when the key is absent; throws when its value is not a
// scalar of type T.
template<typename T>
void ReadOptionalValue(const YAML::Node& map, const std::string& key, T& out)
{
  const YAML::Node value = map[key];
  if (!value.IsDefined() || value.IsNull()) {
    return;
  }
  try {
    if (!value.IsScalar()) {
      throw YAML::Exception(value.Mark(), "not a scalar");
    }
    out = value.as<T>();
  } catch (const YAML::Exception&) {
    throw std::runtime_error("key '" + key + "' has a value of the wrong type");
  }
}

// Throws when the value lies outside [low, high].
template<typename T>
void RequireInRange(const std::string& key, T value, T low, T high)
{
  if (!(value >= low && value <= high)) {
    throw std::runtime_error("key '" + key + "' must lie in [" + std::to_string(low) + ", " +
                             std::to_string(high) + "]");
  }
}

// An optional key whose value, given or default, must lie in [low, high].
template<typename T>
void ReadOptionalInRange(const YAML::Node& map, const std::string& key, T& out, T low, T high)
{
  ReadOptionalValue(map, key, out);
  RequireInRange(key, out, low, high);
}

// Throws for a key that is not known, so that a misspelt setting is not silently ignored.
inline void RejectUnknownKeys(const YAML::Node& map, std::initializer_list<const char*> known)
{
  for (const auto& entry : map) {
    const std::string key = entry.first.IsScalar() ? entry.first.Scalar() : "(not a scalar)";
    bool found = false;
    for (const char* name : known) {
      found = found || key == name;
    }
    if (!found) {
      throw std::runtime_error("unknown key '" + key + "'");
    }
  }
}

}  // namespace perception
}  // namespace pelorin
