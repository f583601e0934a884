#include "quorvane_object_detect/semantic_type.hpp"

#include <google/protobuf/generated_enum_reflection.h>

#include <cctype>
#include <stdexcept>

#include "quorvane_object_detect/common.hpp"
#include "quorvane_object_detect/logger.hpp"
#include "semantic.pb.h"

namespace semantic
{

namespace
{

constexpr int32_t kUnmapped = 1;
constexpr double kFallbackConfidence = 0.5;

// The label of a mapping entry, or -1 (reported) when it is negative.
int32_t readLabel(const YAML::Node & key, std::string * error, bool & reported)
{
  const auto label = key.as<int32_t>();
  if (label < 0) {
    appendParseError(error, "key " + std::to_string(label) + " is smaller than 0, ignore", reported);
    return -1;
  }
  return label;
}

// Label -> class.  Returns false when the caller must stop parsing the file
// (the section is not a mapping at all).
bool parseClassMapping(
  AiConfig & config, const YAML::Node & meta_root, std::string * error, bool & reported)
{
  try {
    const YAML::Node mapping = meta_root["class_mapping"];
    if (!mapping.IsMap()) {
      appendParseError(error, "yaml node class_mapping is not a map", reported);
      return false;
    }
    config.class_mapping.assign(mapping.size(), kUnmapped);
    for (const auto & entry : mapping) {
      if (!entry.first.IsScalar() || !entry.second.IsScalar()) {
        appendParseError(error, "Non-scalar key or value found in class_mapping", reported);
        continue;
      }
      const std::string name = entry.second.Scalar();
      int type = 0;
      if (!ParseSemanticType(name, &type)) {
        appendParseError(error, "value " + name + " cannot parse into SemanticType", reported);
        continue;
      }
      const int32_t label = readLabel(entry.first, error, reported);
      if (label < 0) {
        continue;
      }
      const auto index = static_cast<size_t>(label);
      if (index >= config.class_mapping.size()) {
        appendParseError(
          error, "key " + std::to_string(label) +
          " is larger than map size, means the keys are not a continuous sequence", reported);
        config.class_mapping.resize(index + 1, kUnmapped);
      }
      if (config.class_mapping[index] != kUnmapped) {
        appendParseError(
          error, "key " + std::to_string(label) + " repeat, ignore old value", reported);
      }
      config.class_mapping[index] = type;
    }
  } catch (const YAML::Exception & e) {
    appendParseError(error, std::string("Failed to parse class_mapping, ") + e.what(), reported);
  }
  return true;
}

double parseDefaultConfidence(const YAML::Node & meta_root, std::string * error, bool & reported)
{
  try {
    return meta_root["default_confidence_threshold"].as<double>();
  } catch (const YAML::Exception & e) {
    appendParseError(
      error, std::string("Failed to parse default_confidence_threshold, ") + e.what(), reported);
  }
  return kFallbackConfidence;
}

// Label -> minimum score; labels without an entry keep `fallback`.
void parseConfidenceThresholds(
  AiConfig & config, const YAML::Node & meta_root, double fallback, std::string * error,
  bool & reported)
{
  try {
    const YAML::Node thresholds = meta_root["confidence_threshold"];
    if (!thresholds.IsMap()) {
      appendParseError(error, "yaml node confidence_threshold is not a map", reported);
      return;
    }
    for (const auto & entry : thresholds) {
      if (!entry.first.IsScalar() || !entry.second.IsScalar()) {
        appendParseError(
          error, "Non-scalar key or value found in confidence_threshold", reported);
        continue;
      }
      const int32_t label = readLabel(entry.first, error, reported);
      if (label < 0) {
        continue;
      }
      const auto index = static_cast<size_t>(label);
      if (index >= config.confidence_threshold.size()) {
        appendParseError(error, "key " + std::to_string(label) + " is larger than map size",
          reported);
        config.confidence_threshold.resize(index + 1, fallback);
      }
      config.confidence_threshold[index] = entry.second.as<double>();
    }
  } catch (const YAML::Exception & e) {
    // The same wording as the default's failure: both are threshold settings.
    appendParseError(
      error, std::string("Failed to parse default_confidence_threshold, ") + e.what(), reported);
  }
}

void closeErrorText(std::string * error, bool reported)
{
  if (reported && error != nullptr) {
    error->append(".");
  }
}

// A bad entry ends the reading: the ranges read so far are kept, the rest of
// the file is not trusted.
void parseHeightRanges(AiConfig & config, const YAML::Node & height_root)
{
  try {
    for (const auto & entry : height_root) {
      if (!entry.first.IsScalar() || !entry.second.IsSequence()) {
        continue;
      }
      const std::string name = entry.first.Scalar();
      int type = 0;
      if (!ParseSemanticType(name, &type)) {
        QLOG_WARN("AiConfig: height_yaml_node get key {} cannot parse into SemanticType", name);
        continue;
      }
      std::vector<double> numbers;
      for (const auto & element : entry.second) {
        numbers.push_back(element.as<double>());
      }
      HeightRange & range = config.height_range[type];
      if (numbers.size() < 2) {
        throw std::out_of_range("a height range needs a minimum and a maximum");
      }
      range.min = numbers[0];
      range.max = numbers[1];
    }
  } catch (...) {
  }
}

}  // namespace

bool ParseSemanticType(const std::string & name, int * value)
{
  std::string upper = name;
  for (char & c : upper) {
    c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  }
  int parsed = 0;
  if (!google::protobuf::internal::ParseNamedEnum(
      semantic::SemanticType_descriptor(), upper, &parsed))
  {
    return false;
  }
  *value = parsed;
  return true;
}

std::string SemanticTypeName(int value)
{
  return google::protobuf::internal::NameOfEnum(semantic::SemanticType_descriptor(), value);
}

void appendParseError(std::string * error, const std::string & message, bool & reported)
{
  if (error == nullptr) {
    reported = true;
    return;
  }
  if (message.empty()) {
    return;
  }
  if (!reported) {
    error->append(kParseFileErrPrefix).append(message);
    reported = true;
  } else {
    error->append(", ").append(message);
  }
}

void parseClassMappingConfig(AiConfig & config, const YAML::Node & meta_root, std::string * error)
{
  bool reported = false;
  if (!parseClassMapping(config, meta_root, error, reported)) {
    closeErrorText(error, reported);
    return;
  }
  const double fallback = parseDefaultConfidence(meta_root, error, reported);
  config.confidence_threshold.resize(config.class_mapping.size(), fallback);
  parseConfidenceThresholds(config, meta_root, fallback, error, reported);
  closeErrorText(error, reported);
}

AiConfig::AiConfig(const YAML::Node & meta_root, const YAML::Node & height_root, std::string * error)
{
  parseClassMappingConfig(*this, meta_root, error);
  parseHeightRanges(*this, height_root);
}

}  // namespace semantic
