// Class names, the label mapping with its collected error text, and the
// height ranges of the AI configuration.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include <yaml-cpp/yaml.h>

#include "config_test_support.hpp"
#include "quorvane_object_detect/semantic_type.hpp"
#include "semantic.pb.h"

namespace
{

using semantic::AiConfig;

TEST(ConfigParseSemanticType, AcceptsValueNamesInAnyCaseOnly)
{
  struct Case {const char * name; bool ok; int value;};
  const std::vector<Case> cases{
    {"PERSON", true, semantic::PERSON},
    {"person", true, semantic::PERSON},
    {"Paper_Cup", true, semantic::PAPER_CUP},
    {"escalator_ENTRANCE", true, semantic::ESCALATOR_ENTRANCE},
    {"300", false, 0},          // numbers are no names
    {"PERSON ", false, 0},
    {"", false, 0},
    {"CHAIR", false, 0},
  };
  for (const auto & c : cases) {
    int value = -7;
    EXPECT_EQ(semantic::ParseSemanticType(c.name, &value), c.ok) << c.name;
    EXPECT_EQ(value, c.ok ? c.value : -7) << c.name << ": a failed parse leaves the int alone";
  }
  EXPECT_EQ(semantic::SemanticTypeName(semantic::BOTTLE), "BOTTLE");
  EXPECT_EQ(semantic::SemanticTypeName(12345), "");
}

struct Parsed
{
  AiConfig config;
  std::string error;
};

Parsed parse(const std::string & meta, const std::string & height = "{}")
{
  std::string error;
  AiConfig config(YAML::Load(meta), YAML::Load(height), &error);
  return {config, error};
}

const std::string kThresholds = "default_confidence_threshold: 0.3\nconfidence_threshold: {}\n";

TEST(ConfigAiConfig, ErrorTextsOfTheClassMapping)
{
  struct Case
  {
    const char * what;
    std::string meta;
    std::vector<int32_t> mapping;
    std::string error;
  };
  const std::string prefix = "ParseFile Err: ";
  const std::vector<Case> cases{
    {"valid", "class_mapping: {0: person, 1: BOTTLE}\n" + kThresholds,
      {semantic::PERSON, semantic::BOTTLE}, ""},
    {"labels not contiguous", "class_mapping: {0: person, 2: bottle}\n" + kThresholds,
      {semantic::PERSON, 1, semantic::BOTTLE},
      prefix + "key 2 is larger than map size, means the keys are not a continuous sequence."},
    {"repeated label", "class_mapping: {0: PERSON, 00: BOTTLE}\n" + kThresholds,
      {semantic::BOTTLE, 1}, prefix + "key 0 repeat, ignore old value."},
    {"repeat of an unlabeled slot is silent",
      "class_mapping: {0: UNLABELED, 00: BOTTLE}\n" + kThresholds, {semantic::BOTTLE, 1}, ""},
    {"negative label", "class_mapping: {-1: PERSON, 0: BOTTLE}\n" + kThresholds,
      {semantic::BOTTLE, 1}, prefix + "key -1 is smaller than 0, ignore."},
    {"unknown class keeps the spelling",
      "class_mapping: {0: Chair, 1: mask}\n" + kThresholds, {1, semantic::MASK},
      prefix + "value Chair cannot parse into SemanticType."},
    {"null value", "class_mapping: {0: , 1: mask}\n" + kThresholds, {1, semantic::MASK},
      prefix + "Non-scalar key or value found in class_mapping."},
    {"list value", "class_mapping: {0: [a], 1: mask}\n" + kThresholds, {1, semantic::MASK},
      prefix + "Non-scalar key or value found in class_mapping."},
    {"several messages in one text",
      "class_mapping: {-1: PERSON, 3: Chair, 0: BOTTLE}\n" + kThresholds,
      {semantic::BOTTLE, 1, 1},
      prefix + "key -1 is smaller than 0, ignore, value Chair cannot parse into SemanticType."},
  };
  for (const auto & c : cases) {
    const auto parsed = parse(c.meta);
    EXPECT_EQ(parsed.config.class_mapping, c.mapping) << c.what;
    EXPECT_EQ(parsed.error, c.error) << c.what;
    EXPECT_EQ(parsed.config.confidence_threshold.size(), c.mapping.size()) << c.what;
  }
}

TEST(ConfigAiConfig, ClassMappingAsAListStopsBeforeTheThresholds)
{
  const auto parsed = parse("class_mapping: [PERSON, BOTTLE]\n" + kThresholds);
  EXPECT_EQ(parsed.error, "ParseFile Err: yaml node class_mapping is not a map.");
  EXPECT_TRUE(parsed.config.class_mapping.empty());
  EXPECT_TRUE(parsed.config.confidence_threshold.empty());
}

TEST(ConfigAiConfig, MissingThresholdsFallBackToOneHalf)
{
  const auto parsed = parse("class_mapping: {0: PERSON, 1: BOTTLE}\n");
  EXPECT_EQ(parsed.config.confidence_threshold, (std::vector<double>{0.5, 0.5}));
  const std::string first = "ParseFile Err: Failed to parse default_confidence_threshold, ";
  ASSERT_EQ(parsed.error.rfind(first, 0), 0u) << parsed.error;
  EXPECT_NE(parsed.error.find(", Failed to parse default_confidence_threshold, ", first.size()),
    std::string::npos) << parsed.error;
  EXPECT_EQ(parsed.error.back(), '.');
}

TEST(ConfigAiConfig, MissingClassMappingStillReadsTheThresholds)
{
  const auto parsed = parse(
    "default_confidence_threshold: 0.3\nconfidence_threshold: {1: 0.7}\n");
  EXPECT_TRUE(parsed.config.class_mapping.empty());
  EXPECT_EQ(parsed.config.confidence_threshold, (std::vector<double>{0.3, 0.7}));
  EXPECT_EQ(parsed.error.rfind("ParseFile Err: Failed to parse class_mapping, ", 0), 0u);
  const std::string tail = ", key 1 is larger than map size.";
  ASSERT_GT(parsed.error.size(), tail.size());
  EXPECT_EQ(parsed.error.substr(parsed.error.size() - tail.size()), tail) << parsed.error;
}

TEST(ConfigAiConfig, ThresholdEntries)
{
  struct Case
  {
    const char * what;
    std::string thresholds;
    std::vector<double> expected;
    std::string error;
  };
  const std::string mapping = "class_mapping: {0: PERSON, 1: BOTTLE}\n";
  const std::vector<Case> cases{
    {"own entries beat the default",
      "default_confidence_threshold: 0.3\nconfidence_threshold: {1: 0.7}\n", {0.3, 0.7}, ""},
    {"a label beyond the mapping grows the list",
      "default_confidence_threshold: 0.3\nconfidence_threshold: {3: 0.9}\n",
      {0.3, 0.3, 0.3, 0.9}, "ParseFile Err: key 3 is larger than map size."},
    {"negative label",
      "default_confidence_threshold: 0.3\nconfidence_threshold: {-2: 0.9}\n", {0.3, 0.3},
      "ParseFile Err: key -2 is smaller than 0, ignore."},
    {"null value",
      "default_confidence_threshold: 0.3\nconfidence_threshold: {0: , 1: 0.6}\n", {0.3, 0.6},
      "ParseFile Err: Non-scalar key or value found in confidence_threshold."},
    {"not a map",
      "default_confidence_threshold: 0.3\nconfidence_threshold: [0.1]\n", {0.3, 0.3},
      "ParseFile Err: yaml node confidence_threshold is not a map."},
  };
  for (const auto & c : cases) {
    const auto parsed = parse(mapping + c.thresholds);
    EXPECT_EQ(parsed.config.confidence_threshold, c.expected) << c.what;
    EXPECT_EQ(parsed.error, c.error) << c.what;
  }
  const auto bad = parse(
    mapping + "default_confidence_threshold: 0.3\nconfidence_threshold: {0: high, 1: 0.6}\n");
  EXPECT_EQ(bad.error.rfind("ParseFile Err: Failed to parse default_confidence_threshold, ", 0),
    0u) << "a bad value ends the section: " << bad.error;
  EXPECT_EQ(bad.config.confidence_threshold, (std::vector<double>{0.3, 0.3}));
}

TEST(ConfigAiConfig, NullErrorPointerWritesNothing)
{
  std::string untouched = "x";
  bool reported = false;
  semantic::appendParseError(nullptr, "lost", reported);
  EXPECT_TRUE(reported);
  AiConfig config(YAML::Load("class_mapping: {0: Chair}"), YAML::Load("{}"), nullptr);
  EXPECT_EQ(config.class_mapping, (std::vector<int32_t>{1}));
  reported = false;
  semantic::appendParseError(&untouched, "", reported);
  EXPECT_FALSE(reported);
  EXPECT_EQ(untouched, "x");
}

TEST(ConfigAiConfig, HeightFileRules)
{
  struct Case
  {
    const char * what;
    std::string height;
    std::map<int32_t, std::pair<double, double>> expected;
  };
  const std::vector<Case> cases{
    {"ranges by class", "PERSON: [0.1, 1.9]\nbottle: [0.0, 0.3, 9.0]\n",
      {{semantic::PERSON, {0.1, 1.9}}, {semantic::BOTTLE, {0.0, 0.3}}}},
    {"a scalar value is skipped", "PERSON: 1.5\nMASK: [0.0, 0.05]\n",
      {{semantic::MASK, {0.0, 0.05}}}},
    {"one number creates the default entry and ends the file",
      "PERSON: [0.2]\nMASK: [0.0, 0.05]\n", {{semantic::PERSON, {0.0, 2.0}}}},
    {"a later spelling overwrites", "person: [0.0, 1.2]\nPERSON: [0.0, 1.8]\n",
      {{semantic::PERSON, {0.0, 1.8}}}},
    {"an unknown class is skipped", "CHAIR: [0.0, 1.0]\nMASK: [0.0, 0.05]\n",
      {{semantic::MASK, {0.0, 0.05}}}},
    {"a word ends the file", "MASK: [0.0, 0.05]\nBOTTLE: [0.0, tall]\nMILK: [0.0, 0.02]\n",
      {{semantic::MASK, {0.0, 0.05}}}},
    {"infinity is a number", "BLOOD: [-.inf, .inf]\n",
      {{semantic::BLOOD, {-INFINITY, INFINITY}}}},
    {"a list at the top level", "- [0.0, 1.0]\n", {}},
    {"an empty file", "", {}},
  };
  for (const auto & c : cases) {
    std::string error;
    std::vector<std::string> log;
    std::map<int32_t, std::pair<double, double>> ranges;
    log = config_test::captureLog([&] {
          AiConfig config(YAML::Load("class_mapping: {}"), YAML::Load(c.height), &error);
          for (const auto & [type, range] : config.height_range) {
            ranges[type] = {range.min, range.max};
          }
        });
    EXPECT_EQ(ranges, c.expected) << c.what;
    EXPECT_EQ(error.find("height"), std::string::npos) << c.what;
    const bool warned = !log.empty();
    EXPECT_EQ(warned, std::string(c.what) == "an unknown class is skipped") << c.what;
    if (warned) {
      EXPECT_EQ(log, std::vector<std::string>{
          "[WARN] AiConfig: height_yaml_node get key CHAIR cannot parse into SemanticType"});
    }
  }
}

}  // namespace
