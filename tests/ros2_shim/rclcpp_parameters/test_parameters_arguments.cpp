#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "rclcpp/detail/arguments.hpp"
#include "rclcpp/exceptions.hpp"
#include "rclcpp/parameter_value.hpp"
#include "temp_yaml_file.hpp"

using rclcpp::ParameterType;
using rclcpp::ParameterValue;
using rclcpp::detail::parse_arguments;

namespace
{

std::map<std::string, ParameterValue> overrides_from(
  const std::vector<std::string> & ros_args, const std::string & node = "/object_detect")
{
  std::vector<std::string> args{"object_detect", "--ros-args"};
  args.insert(args.end(), ros_args.begin(), ros_args.end());
  return parse_arguments(args).parameter_overrides_for(node);
}

ParameterValue value_of_p(const std::string & rule)
{
  const auto overrides = overrides_from({"-p", rule});
  EXPECT_EQ(overrides.size(), 1u) << rule;
  return overrides.empty() ? ParameterValue() : overrides.begin()->second;
}

TEST(ParametersArguments, CommandLineValuesAreTypedLikeParameterFiles)
{
  const struct
  {
    std::string rule;
    ParameterValue expected;
  } cases[] = {
    {"n:=1", ParameterValue(1)},
    {"n:=-42", ParameterValue(-42)},
    {"n:=0x10", ParameterValue(16)},
    {"n:=1.0", ParameterValue(1.0)},
    {"n:=2.5e-3", ParameterValue(2.5e-3)},
    {"n:=true", ParameterValue(true)},
    {"n:=False", ParameterValue(false)},
    {"n:='1'", ParameterValue("1")},
    {"n:=\"true\"", ParameterValue("true")},
    {"n:=/camera_01/depth/image_raw", ParameterValue("/camera_01/depth/image_raw")},
    {"n:=default_params/tracker.yaml", ParameterValue("default_params/tracker.yaml")},
    {"n:=[a, b]", ParameterValue(std::vector<std::string>{"a", "b"})},
    {"n:=[1, 2, 3]", ParameterValue(std::vector<int64_t>{1, 2, 3})},
    {"n:=[0.5, 1.5]", ParameterValue(std::vector<double>{0.5, 1.5})},
    {"n:=[true, false]", ParameterValue(std::vector<bool>{true, false})},
    {"n:=['1', x]", ParameterValue(std::vector<std::string>{"1", "x"})},
    {"n:=!!str 5", ParameterValue(5)},  // tags are not read, only quotes
    {"n:=!!int '5'", ParameterValue("5")},
  };
  for (const auto & c : cases) {
    EXPECT_EQ(value_of_p(c.rule), c.expected) << c.rule << " gave " << to_string(value_of_p(c.rule));
  }
  EXPECT_TRUE(std::isinf(value_of_p("n:=-.inf").get<double>()));
  EXPECT_TRUE(std::isnan(value_of_p("n:=.nan").get<double>()));
}

TEST(ParametersArguments, MalformedCommandLinesAreRejected)
{
  const std::vector<std::vector<std::string>> invalid = {
    {"-p"},                 // no rule
    {"-p", "name"},         // no ":="
    {"-p", ":=1"},          // no name
    {"-p", "n:="},          // no value
    {"-p", "n:=[1, 2.5]"},  // mixed array
    {"-p", "/robot/*:n:=1"},  // node names of rules are single tokens
    {"-p", "ns/node:n:=1"},
    {"-p", "a..b:=1"},
    {"-p", "n*:=1"},
    {"-p", "n:={a: 1}"},    // maps are not values
    {"-r", "a"},
    {"-r", "a:="},
    {"-r", "__ns:=relative"},
    {"--params-file"},
  };
  for (const auto & args : invalid) {
    EXPECT_THROW(overrides_from(args), rclcpp::exceptions::RCLInvalidROSArgsError) << args[0] <<
      (args.size() > 1 ? " " + args[1] : "");
  }

  try {
    overrides_from({"--log-level", "debug", "--bogus", "-x"});
    FAIL() << "expected UnknownROSArgsError";
  } catch (const rclcpp::exceptions::UnknownROSArgsError & e) {
    EXPECT_EQ(e.unknown_ros_args, (std::vector<std::string>{"--bogus", "-x"}));
  }
}

TEST(ParametersArguments, OnlyArgumentsOutsideRosSectionsAreLeft)
{
  const std::vector<std::string> args{
    "prog", "a", "--ros-args", "-p", "x:=1", "--enable-stdout-logs", "--", "b", "--ros-args",
    "--log-level", "debug", "-r", "in:=out"};
  EXPECT_EQ(rclcpp::detail::remove_ros_arguments(args), (std::vector<std::string>{"prog", "a", "b"}));
  // Outside a ROS section even ROS-looking flags belong to the program.
  EXPECT_EQ(
    rclcpp::detail::remove_ros_arguments({"prog", "-p", "x:=1"}),
    (std::vector<std::string>{"prog", "-p", "x:=1"}));
}

TEST(ParametersArguments, NodeSpecificRulesAndWildcardsSelectNodes)
{
  TempYamlFile wildcards(
    "/robot/*:\n  ros__parameters:\n    deep: 4\n"
    "/**/object_detect:\n  ros__parameters:\n    any_depth: 5\n");
  const std::vector<std::string> args{
    "-p", "shared:=1", "-p", "object_detect:own:=2", "-p", "other:own:=3",
    "--params-file", wildcards.path()};

  const auto root = overrides_from(args, "/object_detect");
  EXPECT_EQ(root.at("shared"), ParameterValue(1));
  EXPECT_EQ(root.at("own"), ParameterValue(2));
  EXPECT_EQ(root.count("deep"), 0u);
  EXPECT_EQ(root.at("any_depth"), ParameterValue(5));

  const auto in_namespace = overrides_from(args, "/robot/object_detect");
  EXPECT_EQ(in_namespace.at("shared"), ParameterValue(1));
  EXPECT_EQ(in_namespace.count("own"), 0u);  // "object_detect" means "/object_detect"
  EXPECT_EQ(in_namespace.at("deep"), ParameterValue(4));
  EXPECT_EQ(in_namespace.at("any_depth"), ParameterValue(5));

  EXPECT_EQ(overrides_from(args, "/robot/arm/object_detect").count("deep"), 0u);
}

// rclcpp parameter_map.cpp: parameter_map_from
TEST(ParametersArguments, SectionNamesMatchNodesAsPatterns)
{
  const struct
  {
    const char * section, * node;
    bool matches;
  } cases[] = {
    {"/**", "/a/b/object_detect", true},
    {"object_detect", "/object_detect", true},
    {"robot/object_detect", "/robot/object_detect", true},
    {"/object_detect", "/object_detect_2", false},
    {"/*/object_detect", "/robot/object_detect", true},
    {"/*/object_detect", "/object_detect", false},
    {"/**/object_detect", "/object_detect", true},
    {"/robot/**", "/robot/arm/object_detect", true},
    {"/robot/**", "/other/object_detect", false},
  };
  for (const auto & c : cases) {
    EXPECT_EQ(rclcpp::detail::section_matches(c.section, c.node), c.matches) <<
      c.section << " for " << c.node;
  }
}

TEST(ParametersArguments, ParametersFileNodesNestedKeysAndOrder)
{
  TempYamlFile file(
    "/**:\n"
    "  ros__parameters:\n"
    "    cameras: 2\n"
    "    debug: true\n"
    "object_detect:\n"
    "  ros__parameters:\n"
    "    cameras: 3\n"
    "    trash_detection:\n"
    "      close_cam2: true\n"
    "    cam1:\n"
    "      point_cloud_max_range: 3.0\n"
    "    dangerous_class_type: [stairs, escalator]\n"
    "    tracker_config: 'default_params/tracker.yaml'\n"
    "    tagged: !!str 42\n"
    "    folded: >-\n      7\n"
    "robot:\n"
    "  object_detect:\n"
    "    ros__parameters:\n"
    "      cameras: 4\n"
    "other_node:\n"
    "  ros__parameters:\n"
    "    cameras: 9\n");

  const auto root = overrides_from({"--params-file", file.path()});
  EXPECT_EQ(root.at("cameras"), ParameterValue(3));  // node entry follows "/**"
  EXPECT_EQ(root.at("debug"), ParameterValue(true));
  EXPECT_EQ(root.at("trash_detection.close_cam2"), ParameterValue(true));
  EXPECT_EQ(root.at("cam1.point_cloud_max_range"), ParameterValue(3.0));
  EXPECT_EQ(
    root.at("dangerous_class_type"),
    ParameterValue(std::vector<std::string>{"stairs", "escalator"}));
  EXPECT_EQ(root.at("tracker_config"), ParameterValue("default_params/tracker.yaml"));
  EXPECT_EQ(root.at("tagged"), ParameterValue(42));
  EXPECT_EQ(root.at("folded"), ParameterValue(7));  // only quotes make a string
  EXPECT_EQ(root.size(), 8u);

  const auto namespaced = overrides_from({"--params-file", file.path()}, "/robot/object_detect");
  EXPECT_EQ(namespaced.at("cameras"), ParameterValue(4));
  EXPECT_EQ(namespaced.count("trash_detection.close_cam2"), 0u);
}

// rcl arguments.c: _rcl_parse_param_rule, _rcl_parse_param_file; parse.c: find_node
TEST(ParametersArguments, SectionsApplyInTheOrderTheyFirstAppear)
{
  TempYamlFile both(
    "/**:\n  ros__parameters:\n    cameras: 2\n"
    "object_detect:\n  ros__parameters:\n    cameras: 3\n");
  TempYamlFile node_only("object_detect:\n  ros__parameters:\n    cameras: 5\n");
  TempYamlFile all_only("/**:\n  ros__parameters:\n    cameras: 6\n");
  TempYamlFile absolute("/object_detect:\n  ros__parameters:\n    cameras: 9\n");
  const auto file = [](const TempYamlFile & f) {
      return std::vector<std::string>{"--params-file", f.path()};
    };
  const auto join = [](std::vector<std::string> a, const std::vector<std::string> & b) {
      a.insert(a.end(), b.begin(), b.end());
      return a;
    };
  const std::vector<std::string> plain_rule{"-p", "cameras:=7"};
  const std::vector<std::string> node_rule{"-p", "object_detect:cameras:=8"};

  const struct
  {
    std::vector<std::string> args;
    int expected;
  } cases[] = {
    {join(file(both), plain_rule), 3},  // "/**" updated in place, still first
    {join(plain_rule, file(both)), 3},
    {join(file(node_only), plain_rule), 7},  // "/**" only now appended
    {join(file(node_only), file(all_only)), 6},
    {join(file(all_only), file(node_only)), 5},
    {join(file(both), file(node_only)), 5},
    {join(file(node_only), node_rule), 8},
    {join(node_rule, file(all_only)), 6},
    {join(file(node_only), file(absolute)), 9},  // "/object_detect" is a section of its own
    {join(file(absolute), file(node_only)), 5},
  };
  for (const auto & c : cases) {
    EXPECT_EQ(overrides_from(c.args).at("cameras"), ParameterValue(c.expected)) <<
      testing::PrintToString(c.args);
  }
}

// rcl parse.c: parse_value; rclcpp parameter_map.cpp: parameter_value_from
TEST(ParametersArguments, EachTypeKeepsItsOwnValue)
{
  TempYamlFile integer("/**:\n  ros__parameters:\n    x: 2\n");
  TempYamlFile empty("/**:\n  ros__parameters:\n    x: []\n");
  const struct
  {
    std::vector<std::string> args;
    std::optional<ParameterValue> expected;  // none: the node cannot be created
  } cases[] = {
    {{"--params-file", integer.path(), "-p", "x:=2.5"}, ParameterValue(2)},
    {{"-p", "x:=2.5", "-p", "x:=2"}, ParameterValue(2)},
    {{"-p", "x:=hello", "-p", "x:=true"}, ParameterValue(true)},
    {{"-p", "x:=[1, 2]", "-p", "x:=3.5"}, ParameterValue(3.5)},
    {{"-p", "x:=[a]", "-p", "x:=[1]"}, ParameterValue(std::vector<int64_t>{1})},
    {{"-p", "x:=1", "-p", "x:=2"}, ParameterValue(2)},
    {{"-p", "x:=[1, 2]", "-p", "x:=[3]"}, ParameterValue(std::vector<int64_t>{3})},
    {{"-p", "x:=1", "-p", "x:=[]"}, ParameterValue(1)},
    {{"-p", "x:=[]", "-p", "x:=1"}, ParameterValue(1)},
    {{"-p", "x:=[]"}, std::nullopt},
    {{"--params-file", empty.path()}, std::nullopt},
    {{"-p", "other:x:=[]", "-p", "x:=1"}, ParameterValue(1)},  // another node's section
  };
  for (const auto & c : cases) {
    const auto parsed = parse_arguments(
      [&] {
        std::vector<std::string> args{"object_detect", "--ros-args"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        return args;
      }());
    if (!c.expected) {
      EXPECT_THROW(
        parsed.parameter_overrides_for("/object_detect"),
        rclcpp::exceptions::InvalidParameterValueException) << testing::PrintToString(c.args);
      continue;
    }
    EXPECT_EQ(parsed.parameter_overrides_for("/object_detect").at("x"), *c.expected) <<
      testing::PrintToString(c.args);
  }
}

TEST(ParametersArguments, BadParametersFilesNameTheFile)
{
  const std::vector<std::pair<std::string, std::string>> cases = {
    {"object_detect:\n  ros__parameters:\n    a: [1, 2\n", "broken YAML"},
    {"object_detect:\n  ros__parameters:\n    a: [1, two]\n", "mixed array"},
    {"object_detect:\n  ros__parameters:\n    a:\n", "missing value"},
    {"object_detect:\n  ros__parameters:\n    a: [{b: 1}]\n", "map in array"},
    {"ros__parameters:\n  a: 1\n", "no node name"},
    {"object_detect:\n  ros__parameters: [1, 2]\n", "parameters not a map"},
    {"object_detect: 5\n", "node without parameters"},
    {"- a\n- b\n", "top level not a map"},
  };
  for (const auto & c : cases) {
    TempYamlFile file(c.first);
    try {
      overrides_from({"--params-file", file.path()});
      ADD_FAILURE() << c.second << ": accepted";
    } catch (const rclcpp::exceptions::RCLError & e) {
      EXPECT_NE(std::string(e.what()).find(file.path()), std::string::npos) << c.second << ": " <<
        e.what();
    }
  }

  const std::string missing = "/nonexistent/folder/params.yaml";
  try {
    overrides_from({"--params-file", missing});
    ADD_FAILURE() << "missing file accepted";
  } catch (const rclcpp::exceptions::RCLError & e) {
    EXPECT_NE(std::string(e.what()).find(missing), std::string::npos) << e.what();
  }
}

TEST(ParametersArguments, EmptyParametersFileGivesNoOverrides)
{
  TempYamlFile file("# nothing yet\n");
  EXPECT_TRUE(overrides_from({"--params-file", file.path()}).empty());
}

TEST(ParametersArguments, TopicRemapping)
{
  const auto parsed = parse_arguments({
      "prog", "--ros-args",
      "-r", "image:=/camera_01/color/image_raw",
      "-r", "object_detect:/cmd_vel:=/base/cmd_vel",
      "-r", "other:/tf:=/other_tf",
      "-r", "~/debug:=/debug_images",
      "-r", "rosservice://image:=/service_only",
      "-r", "image:=/never_reached",
      "-r", "__node:=renamed", "-r", "object_detect:__ns:=/robot"});

  const struct
  {
    std::string topic, node, ns, expected;
  } cases[] = {
    {"/image", "object_detect", "/", "/camera_01/color/image_raw"},
    {"/robot/image", "object_detect", "/robot", "/camera_01/color/image_raw"},
    {"/image", "object_detect", "/robot", "/image"},  // relative rule lives in the namespace
    {"/cmd_vel", "object_detect", "", "/base/cmd_vel"},
    {"/cmd_vel", "other", "", "/cmd_vel"},  // rule for another node
    {"/tf", "object_detect", "", "/tf"},
    {"/robot/object_detect/debug", "object_detect", "/robot/", "/debug_images"},
    {"/unrelated", "object_detect", "/", "/unrelated"},
  };
  for (const auto & c : cases) {
    EXPECT_EQ(parsed.remap_topic(c.topic, c.node, c.ns), c.expected) << c.topic << " in " << c.ns;
  }

  EXPECT_EQ(parsed.node_name_override("object_detect"), std::optional<std::string>("renamed"));
  EXPECT_EQ(parsed.namespace_override("object_detect"), std::optional<std::string>("/robot"));
  EXPECT_EQ(parsed.namespace_override("other"), std::nullopt);
}

TEST(ParametersArguments, TypeMismatchNamesBothTypes)
{
  const ParameterValue value(5);
  try {
    value.get<double>();
    FAIL() << "expected ParameterTypeException";
  } catch (const rclcpp::ParameterTypeException & e) {
    EXPECT_STREQ(e.what(), "expected [double] got [integer]");
  }
  EXPECT_EQ(to_string(ParameterValue(std::vector<int64_t>{1, 2})), "[1, 2]");
  EXPECT_EQ(rclcpp::to_string(ParameterType::PARAMETER_STRING_ARRAY), "string_array");
}

}  // namespace
