// The managed-node state machine as a node sees it: transitions, callback
// results, exceptions and error processing.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "lifecycle_msgs/msg/state.hpp"
#include "lifecycle_msgs/msg/transition.hpp"
#include "rclcpp/rclcpp.hpp"
#include "rclcpp_lifecycle/lifecycle_node.hpp"

namespace
{

using rclcpp_lifecycle::LifecycleNode;
using CallbackReturn = LifecycleNode::CallbackReturn;
using S = lifecycle_msgs::msg::State;
using T = lifecycle_msgs::msg::Transition;

class RclcppEnvironment : public ::testing::Environment
{
public:
  void SetUp() override {rclcpp::init(0, nullptr);}
  void TearDown() override {rclcpp::shutdown();}
};
const auto * const kEnvironment =
  ::testing::AddGlobalTestEnvironment(new RclcppEnvironment);

// Records every callback with the state it was given; results are scripted.
class ScriptedNode : public LifecycleNode
{
public:
  explicit ScriptedNode(const std::string & name) : LifecycleNode(name) {}

  CallbackReturn configure_result = CallbackReturn::SUCCESS;
  CallbackReturn error_result = CallbackReturn::SUCCESS;
  bool throw_in_configure = false;
  std::vector<std::string> calls;

  CallbackReturn on_configure(const rclcpp_lifecycle::State & previous) override
  {
    calls.push_back("configure from " + previous.label());
    if (throw_in_configure) {throw std::runtime_error("bad configuration file");}
    return configure_result;
  }
  CallbackReturn on_cleanup(const rclcpp_lifecycle::State &) override
  {
    calls.push_back("cleanup");
    return CallbackReturn::SUCCESS;
  }
  CallbackReturn on_error(const rclcpp_lifecycle::State & previous) override
  {
    calls.push_back("error from " + previous.label());
    return error_result;
  }
};

TEST(LifecycleTransitions, FullCycleVisitsEveryPrimaryState)
{
  auto node = std::make_shared<ScriptedNode>("cycle");
  EXPECT_EQ(node->get_current_state().id(), S::PRIMARY_STATE_UNCONFIGURED);
  EXPECT_EQ(node->configure().id(), S::PRIMARY_STATE_INACTIVE);
  EXPECT_EQ(node->activate().id(), S::PRIMARY_STATE_ACTIVE);
  EXPECT_EQ(node->deactivate().id(), S::PRIMARY_STATE_INACTIVE);
  EXPECT_EQ(node->cleanup().id(), S::PRIMARY_STATE_UNCONFIGURED);
  EXPECT_EQ(node->shutdown().id(), S::PRIMARY_STATE_FINALIZED);
  EXPECT_EQ(node->get_current_state().label(), "finalized");
  EXPECT_EQ(node->calls, (std::vector<std::string>{"configure from unconfigured", "cleanup"}));
}

TEST(LifecycleTransitions, InvalidTransitionChangesNothingAndReportsError)
{
  auto node = std::make_shared<ScriptedNode>("invalid");
  CallbackReturn code = CallbackReturn::SUCCESS;
  EXPECT_EQ(node->activate(code).id(), S::PRIMARY_STATE_UNCONFIGURED);
  EXPECT_EQ(code, CallbackReturn::ERROR);
  node->configure();
  EXPECT_EQ(node->configure(code).id(), S::PRIMARY_STATE_INACTIVE);
  EXPECT_EQ(node->calls.size(), 1u);
}

TEST(LifecycleTransitions, ShutdownFromEveryPrimaryStateFinalizes)
{
  for (int steps = 0; steps < 3; ++steps) {
    auto node = std::make_shared<ScriptedNode>("shutdown");
    if (steps >= 1) {node->configure();}
    if (steps >= 2) {node->activate();}
    EXPECT_EQ(node->shutdown().id(), S::PRIMARY_STATE_FINALIZED) << "after " << steps << " steps";
    EXPECT_EQ(node->configure().id(), S::PRIMARY_STATE_FINALIZED);
  }
}

struct ConfigureCase
{
  const char * name;
  CallbackReturn configure_result;
  bool throws;
  CallbackReturn error_result;
  uint8_t expected_state;
  CallbackReturn expected_code;
  size_t expected_calls;
};

class ConfigureOutcome : public ::testing::TestWithParam<ConfigureCase> {};

TEST_P(ConfigureOutcome, LeadsToTheRightState)
{
  const ConfigureCase & c = GetParam();
  auto node = std::make_shared<ScriptedNode>("outcome");
  node->configure_result = c.configure_result;
  node->throw_in_configure = c.throws;
  node->error_result = c.error_result;
  CallbackReturn code = CallbackReturn::SUCCESS;
  EXPECT_EQ(node->configure(code).id(), c.expected_state);
  EXPECT_EQ(code, c.expected_code);
  ASSERT_EQ(node->calls.size(), c.expected_calls);
  if (c.expected_calls == 2) {
    // on_error sees the state the failed transition started from.
    EXPECT_EQ(node->calls[1], "error from unconfigured");
  }
}

INSTANTIATE_TEST_SUITE_P(
  Results, ConfigureOutcome, ::testing::Values(
    ConfigureCase{"success", CallbackReturn::SUCCESS, false, CallbackReturn::SUCCESS,
      S::PRIMARY_STATE_INACTIVE, CallbackReturn::SUCCESS, 1},
    ConfigureCase{"failure", CallbackReturn::FAILURE, false, CallbackReturn::SUCCESS,
      S::PRIMARY_STATE_UNCONFIGURED, CallbackReturn::FAILURE, 1},
    ConfigureCase{"error_recovered", CallbackReturn::ERROR, false, CallbackReturn::SUCCESS,
      S::PRIMARY_STATE_UNCONFIGURED, CallbackReturn::ERROR, 2},
    ConfigureCase{"error_unrecovered", CallbackReturn::ERROR, false, CallbackReturn::FAILURE,
      S::PRIMARY_STATE_FINALIZED, CallbackReturn::ERROR, 2},
    ConfigureCase{"exception_is_error", CallbackReturn::SUCCESS, true, CallbackReturn::SUCCESS,
      S::PRIMARY_STATE_UNCONFIGURED, CallbackReturn::ERROR, 2}),
  [](const ::testing::TestParamInfo<ConfigureCase> & info) {return info.param.name;});

// A node that configures itself from its own constructor, as the detector's node does.
class SelfConfiguringNode : public LifecycleNode
{
public:
  SelfConfiguringNode() : LifecycleNode("self_configuring") {configure();}
  bool configured = false;
  CallbackReturn on_configure(const rclcpp_lifecycle::State &) override
  {
    configured = true;
    return CallbackReturn::SUCCESS;
  }
};

TEST(LifecycleTransitions, ConfigureFromTheConstructorRunsTheCallback)
{
  // Virtual dispatch from a base constructor would reach the default; the
  // callback runs because configure() is called from the derived constructor.
  auto node = std::make_shared<SelfConfiguringNode>();
  EXPECT_TRUE(node->configured);
  EXPECT_EQ(node->get_current_state().id(), S::PRIMARY_STATE_INACTIVE);
}

TEST(LifecycleTransitions, AvailableTransitionsFollowTheState)
{
  auto node = std::make_shared<ScriptedNode>("available");
  auto ids = [&node] {
      std::vector<uint8_t> out;
      for (const auto & t : node->get_available_transitions()) {out.push_back(t.id());}
      return out;
    };
  EXPECT_EQ(ids(), (std::vector<uint8_t>{T::TRANSITION_CONFIGURE,
      T::TRANSITION_UNCONFIGURED_SHUTDOWN}));
  node->configure();
  node->activate();
  EXPECT_EQ(ids(), (std::vector<uint8_t>{T::TRANSITION_DEACTIVATE,
      T::TRANSITION_ACTIVE_SHUTDOWN}));
  EXPECT_EQ(node->get_available_states().size(), 10u);
}

}  // namespace
