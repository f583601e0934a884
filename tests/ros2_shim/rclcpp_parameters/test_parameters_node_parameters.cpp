#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "rclcpp/detail/arguments.hpp"
#include "rclcpp/exceptions.hpp"
#include "rclcpp/node_interfaces/node_parameters.hpp"
#include "rclcpp/node_options.hpp"
#include "rclcpp/parameter.hpp"
#include "temp_yaml_file.hpp"

using rclcpp::NodeOptions;
using rclcpp::Parameter;
using rclcpp::ParameterValue;
using rclcpp::node_interfaces::NodeParameters;
using SetResult = rcl_interfaces::msg::SetParametersResult;

namespace
{

NodeOptions auto_declaring()
{
  return NodeOptions().automatically_declare_parameters_from_overrides(true);
}

NodeParameters make(const NodeOptions & options,
  const rclcpp::detail::ParsedArguments * global = nullptr)
{
  return NodeParameters("object_detect", "/", options, global);
}

SetResult accept()
{
  SetResult result;
  result.successful = true;
  return result;
}

SetResult refuse(const std::string & reason)
{
  SetResult result;
  result.successful = false;
  result.reason = reason;
  return result;
}

TEST(ParametersNodeParameters, TypedReadsConvertOrRaise)
{
  NodeParameters parameters("object_detect", "/", auto_declaring()
    .append_parameter_override("executors", 4)
    .append_parameter_override("depth_rgb_time_diff", 0.08)
    .append_parameter_override("debug", true)
    .append_parameter_override("tracker_config", "default_params/tracker.yaml")
    .append_parameter_override("trash_class_type", std::vector<std::string>{"paper", "can"}),
    nullptr);

  int executors = 0;
  ASSERT_TRUE(parameters.get_parameter("executors", executors));
  EXPECT_EQ(executors, 4);
  int64_t executors64 = 0;
  ASSERT_TRUE(parameters.get_parameter("executors", executors64));
  EXPECT_EQ(executors64, 4);
  float time_diff = 0.0f;
  ASSERT_TRUE(parameters.get_parameter("depth_rgb_time_diff", time_diff));
  EXPECT_FLOAT_EQ(time_diff, 0.08f);
  bool debug = false;
  ASSERT_TRUE(parameters.get_parameter("debug", debug));
  EXPECT_TRUE(debug);
  std::string tracker;
  ASSERT_TRUE(parameters.get_parameter("tracker_config", tracker));
  EXPECT_EQ(tracker, "default_params/tracker.yaml");
  std::vector<std::string> classes;
  ASSERT_TRUE(parameters.get_parameter("trash_class_type", classes));
  EXPECT_EQ(classes, (std::vector<std::string>{"paper", "can"}));

  // Absent: false, and the variable keeps its default.
  int cameras = 2;
  EXPECT_FALSE(parameters.get_parameter("cameras", cameras));
  EXPECT_EQ(cameras, 2);
  EXPECT_FALSE(parameters.get_parameter_or("cameras", cameras, 5));
  EXPECT_EQ(cameras, 5);

  // Present with another type: the named exception, never a silent conversion.
  double as_double = 0.0;
  EXPECT_THROW(parameters.get_parameter("executors", as_double),
    rclcpp::exceptions::InvalidParameterTypeException);
  int as_int = 0;
  EXPECT_THROW(parameters.get_parameter("depth_rgb_time_diff", as_int),
    rclcpp::exceptions::InvalidParameterTypeException);
  std::string as_string;
  EXPECT_THROW(parameters.get_parameter("debug", as_string),
    rclcpp::exceptions::InvalidParameterTypeException);
  try {
    parameters.get_parameter("executors", debug);
    FAIL() << "expected InvalidParameterTypeException";
  } catch (const rclcpp::exceptions::InvalidParameterTypeException & e) {
    EXPECT_STREQ(e.what(), "parameter 'executors' has invalid type: expected [bool] got [integer]");
  }
}

// rclcpp resolve_parameter_overrides.cpp: resolve_parameter_overrides
TEST(ParametersNodeParameters, OverridePrecedence)
{
  TempYamlFile global_file(
    "/**:\n  ros__parameters:\n    a: 1\n    b: 1\n    c: 1\n    d: 1\n"
    "object_detect:\n  ros__parameters:\n    b: 2\n    f: 2\n");
  TempYamlFile local_file("object_detect:\n  ros__parameters:\n    c: 3\n");
  const auto global = rclcpp::detail::parse_arguments(
    {"prog", "--ros-args", "--params-file", global_file.path(), "-p", "e:=1"});

  NodeOptions options = auto_declaring();
  // The local "-p" rules form a store of their own, read after the global one.
  options.arguments(
    {"--ros-args", "--params-file", local_file.path(), "-p", "d:=3", "-p", "f:=5"});
  options.append_parameter_override("d", 4);

  {
    const NodeParameters parameters = make(options, &global);
    const struct
    {
      const char * name;
      int expected;
    } expectations[] = {{"a", 1}, {"b", 2}, {"c", 3}, {"d", 4}, {"e", 1}, {"f", 5}};
    for (const auto & e : expectations) {
      int value = 0;
      EXPECT_TRUE(parameters.get_parameter(e.name, value)) << e.name;
      EXPECT_EQ(value, e.expected) << e.name;
    }
  }

  options.use_global_arguments(false);
  const NodeParameters without_global = make(options, &global);
  EXPECT_EQ(without_global.get_parameter_names(), (std::vector<std::string>{"c", "d", "f"}));

  // Another node sees only the "/**" part of the global file.
  const NodeParameters other("other", "/", auto_declaring(), &global);
  EXPECT_EQ(other.get_parameter("b").as_int(), 1);
}

TEST(ParametersNodeParameters, OnlyOverridesExistWhenAutomaticallyDeclared)
{
  NodeOptions options;
  options.append_parameter_override("cameras", 3);

  NodeParameters plain = make(options);
  EXPECT_FALSE(plain.has_parameter("cameras"));
  EXPECT_TRUE(plain.get_parameter_overrides().count("cameras"));
  EXPECT_THROW(plain.get_parameter("cameras"), rclcpp::exceptions::ParameterNotDeclaredException);
  EXPECT_EQ(plain.declare_parameter("cameras", 2), 3);  // the override wins over the default
  EXPECT_EQ(plain.declare_parameter("executors", 1), 1);
  EXPECT_EQ(plain.declare_parameter("ignored", ParameterValue(5), false).get<int>(), 5);
  EXPECT_THROW(plain.declare_parameter("cameras", 2),
    rclcpp::exceptions::ParameterAlreadyDeclaredException);

  NodeParameters ignoring = make(options);
  EXPECT_EQ(ignoring.declare_parameter("cameras", ParameterValue(2), true).get<int64_t>(), 2);

  NodeParameters automatic = make(options.automatically_declare_parameters_from_overrides(true));
  EXPECT_TRUE(automatic.has_parameter("cameras"));
  EXPECT_FALSE(automatic.has_parameter("executors"));
  EXPECT_THROW(automatic.set_parameters({Parameter("executors", 2)}),
    rclcpp::exceptions::ParameterNotDeclaredException);
  EXPECT_FALSE(automatic.has_parameter("executors"));

  NodeParameters open = make(options.allow_undeclared_parameters(true));
  EXPECT_EQ(open.get_parameter("executors").get_type(), rclcpp::PARAMETER_NOT_SET);
  ASSERT_TRUE(open.set_parameters({Parameter("executors", 2)}).at(0).successful);
  EXPECT_EQ(open.get_parameter("executors").as_int(), 2);
}

TEST(ParametersNodeParameters, DeclaredTypesAreKeptAutoDeclaredOnesMayChange)
{
  NodeOptions options = auto_declaring();
  options.append_parameter_override("flexible", 1).append_parameter_override("wrong", "text");
  NodeParameters parameters = make(options);
  parameters.declare_parameter("fixed", 1.5);

  const auto refused = parameters.set_parameters({Parameter("fixed", "text")}).at(0);
  EXPECT_FALSE(refused.successful);
  EXPECT_EQ(refused.reason.rfind("Wrong parameter type", 0), 0u) << refused.reason;
  EXPECT_DOUBLE_EQ(parameters.get_parameter("fixed").as_double(), 1.5);

  EXPECT_TRUE(parameters.set_parameters({Parameter("flexible", "now text")}).at(0).successful);
  EXPECT_EQ(parameters.get_parameter("flexible").as_string(), "now text");

  // An override of the wrong type for a typed declaration.
  parameters.undeclare_parameter("wrong");
  EXPECT_THROW(parameters.declare_parameter("wrong", 3),
    rclcpp::exceptions::InvalidParameterTypeException);
  EXPECT_THROW(parameters.undeclare_parameter("fixed"),
    rclcpp::exceptions::InvalidParameterTypeException);

  // Setting a dynamic parameter to "not set" undeclares it.
  EXPECT_TRUE(parameters.set_parameters({Parameter("flexible")}).at(0).successful);
  EXPECT_FALSE(parameters.has_parameter("flexible"));
}

TEST(ParametersNodeParameters, CallbacksRefuseOrAcceptWholeBatches)
{
  NodeOptions options = auto_declaring();
  options.append_parameter_override("cam1.max_slope", 0.2)
  .append_parameter_override("cam1.min_slope", 0.0);
  NodeParameters parameters = make(options);

  std::vector<std::string> seen;
  auto watcher = parameters.add_on_set_parameters_callback(
    [&](const std::vector<Parameter> & batch) {
      for (const auto & p : batch) {
        seen.push_back(p.get_name());
      }
      return accept();
    });
  auto guard = parameters.add_on_set_parameters_callback(
    [](const std::vector<Parameter> & batch) {
      for (const auto & p : batch) {
        if (p.get_value<double>() < 0.0) {
          return refuse("negative " + p.get_name());
        }
      }
      return accept();
    });

  const auto refused = parameters.set_parameters_atomically(
    {Parameter("cam1.min_slope", 0.1), Parameter("cam1.max_slope", -1.0)});
  EXPECT_FALSE(refused.successful);
  EXPECT_EQ(refused.reason, "negative cam1.max_slope");
  EXPECT_DOUBLE_EQ(parameters.get_parameter("cam1.min_slope").as_double(), 0.0);
  EXPECT_DOUBLE_EQ(parameters.get_parameter("cam1.max_slope").as_double(), 0.2);
  EXPECT_TRUE(seen.empty()) << "the callback added last runs first; a refusal stops the round";

  const auto accepted = parameters.set_parameters_atomically(
    {Parameter("cam1.min_slope", 0.1), Parameter("cam1.max_slope", 0.3)});
  EXPECT_TRUE(accepted.successful);
  EXPECT_DOUBLE_EQ(parameters.get_parameter("cam1.max_slope").as_double(), 0.3);
  EXPECT_EQ(seen, (std::vector<std::string>{"cam1.min_slope", "cam1.max_slope"}));

  // Releasing the handle unregisters the refusing callback.
  guard.reset();
  EXPECT_TRUE(parameters.set_parameters({Parameter("cam1.max_slope", -2.0)}).at(0).successful);

  parameters.remove_on_set_parameters_callback(watcher.get());
  seen.clear();
  parameters.set_parameters({Parameter("cam1.max_slope", 1.0)});
  EXPECT_TRUE(seen.empty());
  EXPECT_THROW(parameters.remove_on_set_parameters_callback(watcher.get()), std::runtime_error);

  // A refusal at declaration time is reported as an invalid value.
  auto no = parameters.add_on_set_parameters_callback(
    [](const std::vector<Parameter> &) {return refuse("never");});
  EXPECT_THROW(parameters.declare_parameter("late", 1),
    rclcpp::exceptions::InvalidParameterValueException);
  EXPECT_FALSE(parameters.has_parameter("late"));
}

TEST(ParametersNodeParameters, CallbacksMayReadButNotModify)
{
  NodeOptions options = auto_declaring();
  options.append_parameter_override("a", 1).append_parameter_override("b", 2);
  NodeParameters parameters = make(options);

  int64_t b_seen = 0;
  bool modify = false;
  auto handle = parameters.add_on_set_parameters_callback(
    [&](const std::vector<Parameter> &) {
      // Reads the node from inside the callback: must not deadlock, and sees
      // the values from before the batch.
      b_seen = parameters.get_parameter("b").as_int();
      if (modify) {
        parameters.set_parameters({Parameter("b", 5)});
      }
      return accept();
    });

  ASSERT_TRUE(parameters.set_parameters({Parameter("b", 3)}).at(0).successful);
  EXPECT_EQ(b_seen, 2);

  modify = true;
  EXPECT_THROW(parameters.set_parameters({Parameter("a", 7)}),
    rclcpp::exceptions::ParameterModifiedInCallbackException);
  EXPECT_EQ(parameters.get_parameter("a").as_int(), 1);
  modify = false;
  // The refusal above did not leave the node locked against changes.
  EXPECT_TRUE(parameters.set_parameters({Parameter("a", 8)}).at(0).successful);
}

TEST(ParametersNodeParameters, PrefixLookupStripsThePrefix)
{
  NodeOptions options = auto_declaring();
  options.append_parameter_override("cam1.noise_nsigma", 4.0)
  .append_parameter_override("cam1.cam_height", 0.05)
  .append_parameter_override("cam12.cam_height", 0.07)
  .append_parameter_override("cam1", "the camera itself");
  const NodeParameters parameters = make(options);

  std::map<std::string, Parameter> found;
  ASSERT_TRUE(parameters.get_parameters_by_prefix("cam1", found));
  ASSERT_EQ(found.size(), 2u);
  EXPECT_EQ(found.at("cam_height").get_name(), "cam1.cam_height");
  EXPECT_DOUBLE_EQ(found.at("noise_nsigma").as_double(), 4.0);
  std::map<std::string, Parameter> none;
  EXPECT_FALSE(parameters.get_parameters_by_prefix("cam3", none));
}

TEST(ParametersNodeParameters, ConcurrentSetsAndReadsStayConsistent)
{
  NodeOptions options = auto_declaring();
  options.append_parameter_override("low", 0).append_parameter_override("high", 0);
  NodeParameters parameters = make(options);
  // Every batch sets both to the same number; a reader must never see them differ.
  std::atomic<bool> mismatch{false};
  auto handle = parameters.add_on_set_parameters_callback(
    [](const std::vector<Parameter> &) {return accept();});

  std::vector<std::thread> threads;
  for (int writer = 0; writer < 2; ++writer) {
    threads.emplace_back([&parameters, writer] {
        for (int i = 0; i < 500; ++i) {
          const int value = writer * 1000 + i;
          parameters.set_parameters_atomically({Parameter("low", value), Parameter("high", value)});
        }
      });
  }
  threads.emplace_back([&parameters, &mismatch] {
      for (int i = 0; i < 1000; ++i) {
        const auto both = parameters.get_parameters({"low", "high"});
        if (both.at(0).as_int() != both.at(1).as_int()) {
          mismatch = true;
        }
      }
    });
  for (auto & thread : threads) {
    thread.join();
  }
  EXPECT_FALSE(mismatch);
}

}  // namespace
