// Shared set-up of the rclcpp tests: a fresh default context per test.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "rclcpp/rclcpp.hpp"

class RclcppTest : public ::testing::Test
{
protected:
  void SetUp() override {init({});}

  void TearDown() override {rclcpp::shutdown();}

  /// Re-initialises the default context with these ROS arguments.
  static void init(const std::vector<std::string> & ros_arguments)
  {
    rclcpp::shutdown();
    std::vector<std::string> arguments{"test"};
    if (!ros_arguments.empty()) {
      arguments.push_back("--ros-args");
      arguments.insert(arguments.end(), ros_arguments.begin(), ros_arguments.end());
    }
    std::vector<const char *> argv;
    for (const auto & argument : arguments) {
      argv.push_back(argument.c_str());
    }
    rclcpp::init(
      static_cast<int>(argv.size()), argv.data(), rclcpp::InitOptions(),
      rclcpp::SignalHandlerOptions::None);
  }
};

/// Polls until the condition holds; false after a generous limit, which
/// only a hang reaches.
template<typename Condition>
bool eventually(Condition condition, std::chrono::seconds limit = std::chrono::seconds(30))
{
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > end) {
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}
