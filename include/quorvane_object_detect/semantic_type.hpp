#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include <yaml-cpp/yaml.h>

namespace semantic
{

// Class names are the value names of semantic::SemanticType, accepted in any
// letter case ("person", "Paper_Cup").  Numbers are not names.  On failure
// the int keeps its value.
bool ParseSemanticType(const std::string & name, int * value);

// The value name of a class, empty for a value the enumeration does not name.
std::string SemanticTypeName(int value);

// Allowed height of an object class above the floor, metres.
struct HeightRange
{
  double min = 0.0;
  double max = 2.0;
};

// What the segmentation model's labels mean: label -> class, label -> minimum
// score, and class -> height range.  Built once from the model meta file and
// the model height file; problems in the meta file are collected into one
// error text instead of stopping the camera.
struct AiConfig
{
  AiConfig(const YAML::Node & meta_root, const YAML::Node & height_root, std::string * error);

  std::vector<int32_t> class_mapping;        // index: label; unmapped labels hold 1
  std::vector<double> confidence_threshold;  // index: label
  std::map<int32_t, HeightRange> height_range;  // key: class value
};

// Fills class_mapping and confidence_threshold from "class_mapping",
// "default_confidence_threshold" and "confidence_threshold" of the meta root.
// Problems are appended to *error ("ParseFile Err: a, b, c."); error may be null.
void parseClassMappingConfig(AiConfig & config, const YAML::Node & meta_root, std::string * error);

// Appends one message to the collected error text; `reported` tells whether
// an earlier message of the same parse is already there.
void appendParseError(std::string * error, const std::string & message, bool & reported);

}  // namespace semantic
