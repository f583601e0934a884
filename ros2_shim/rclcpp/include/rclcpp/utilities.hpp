#pragma once

#include <chrono>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "rclcpp/context.hpp"
#include "rclcpp/init_options.hpp"

namespace rclcpp
{

/// Which signals `init` installs handlers for.
enum class SignalHandlerOptions
{
  All,
  SigInt,
  SigTerm,
  None,
};

/// Initialises the global default context and installs the signal handlers.
void init(
  int argc,
  char const * const * argv,
  const InitOptions & init_options = InitOptions(),
  SignalHandlerOptions signal_handler_options = SignalHandlerOptions::All);

/// Installs handlers that shut every context down on the chosen signals.
/// False when handlers were already installed.
bool install_signal_handlers(SignalHandlerOptions signal_handler_options = SignalHandlerOptions::All);
bool signal_handlers_installed();
SignalHandlerOptions get_current_signal_handler_options();
/// Restores the previous handlers; false when none were installed.
bool uninstall_signal_handlers();

/// Initialises and returns the arguments that are not ROS arguments.
std::vector<std::string> init_and_remove_ros_arguments(
  int argc,
  char const * const * argv,
  const InitOptions & init_options = InitOptions());

/// The arguments with every ROS argument (and the `--ros-args` markers) removed.
std::vector<std::string> remove_ros_arguments(int argc, char const * const * argv);

/// True while the context (default: the global one) is initialised and not shut down.
bool ok(rclcpp::Context::SharedPtr context = nullptr);

/// Shuts the context down; the default context also loses its signal handlers.
bool shutdown(
  rclcpp::Context::SharedPtr context = nullptr,
  const std::string & reason = "user called rclcpp::shutdown()");

void on_shutdown(std::function<void()> callback, rclcpp::Context::SharedPtr context = nullptr);

/// Sleeps, returning false early when the context shuts down.
bool sleep_for(
  const std::chrono::nanoseconds & nanoseconds,
  rclcpp::Context::SharedPtr context = nullptr);

/// Safe arithmetic helpers used by Time and Duration.
template<typename T>
bool add_will_overflow(const T x, const T y)
{
  return (y > 0) && (x > (std::numeric_limits<T>::max() - y));
}

template<typename T>
bool add_will_underflow(const T x, const T y)
{
  return (y < 0) && (x < (std::numeric_limits<T>::min() - y));
}

template<typename T>
bool sub_will_overflow(const T x, const T y)
{
  return (y < 0) && (x > (std::numeric_limits<T>::max() + y));
}

template<typename T>
bool sub_will_underflow(const T x, const T y)
{
  return (y > 0) && (x < (std::numeric_limits<T>::min() + y));
}

const char * get_c_string(const char * string_in);
const char * get_c_string(const std::string & string_in);

}  // namespace rclcpp
