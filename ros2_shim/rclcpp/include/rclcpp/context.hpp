#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <unordered_set>
#include <vector>

#include "rclcpp/init_options.hpp"
#include "rclcpp/macros.hpp"

namespace rclcpp
{

namespace detail
{
struct ParsedArguments;
}  // namespace detail

/// Thrown when init is called on a context that is already initialised.
class ContextAlreadyInitialized : public std::runtime_error
{
public:
  ContextAlreadyInitialized()
  : std::runtime_error("context is already initialized") {}
};

class Context;

/// Handle of a registered shutdown callback, used to remove it again.
class OnShutdownCallbackHandle
{
  friend class Context;

public:
  using OnShutdownCallbackType = std::function<void ()>;

private:
  std::weak_ptr<OnShutdownCallbackType> callback;
};

/// The state one `rclcpp::init` sets up and one `rclcpp::shutdown` ends.
class Context : public std::enable_shared_from_this<Context>
{
public:
  RCLCPP_SMART_PTR_DEFINITIONS(Context)

  using OnShutdownCallback = OnShutdownCallbackHandle::OnShutdownCallbackType;

  Context();
  virtual ~Context();

  Context(const Context &) = delete;
  Context & operator=(const Context &) = delete;

  /// Parses the process arguments (the ROS ones after `--ros-args`).
  /// Throws ContextAlreadyInitialized when still valid.
  virtual void init(
    int argc,
    char const * const * argv,
    const rclcpp::InitOptions & init_options = rclcpp::InitOptions());

  bool is_valid() const;
  const rclcpp::InitOptions & get_init_options() const;
  rclcpp::InitOptions get_init_options();
  size_t get_domain_id() const;
  std::string shutdown_reason() const;

  /// Runs the shutdown callbacks once; false when it was not valid.
  virtual bool shutdown(const std::string & reason);

  /// Kept for source compatibility; prefer add_on_shutdown_callback.
  virtual OnShutdownCallback on_shutdown(OnShutdownCallback callback);
  virtual OnShutdownCallbackHandle add_on_shutdown_callback(OnShutdownCallback callback);
  virtual bool remove_on_shutdown_callback(const OnShutdownCallbackHandle & callback_handle);
  std::vector<OnShutdownCallback> get_on_shutdown_callbacks() const;

  /// Sleeps up to nanoseconds; false when interrupted by shutdown.
  bool sleep_for(const std::chrono::nanoseconds & nanoseconds);
  void interrupt_all_sleep_for();

  /// The process arguments given to init, program name first.
  const std::vector<std::string> & get_arguments() const;
  /// The ROS arguments parsed at init; null before init.
  std::shared_ptr<const detail::ParsedArguments> get_global_arguments() const;

private:
  mutable std::mutex mutex_;
  bool valid_ = false;
  rclcpp::InitOptions init_options_;
  std::string shutdown_reason_;
  std::vector<std::string> arguments_;
  std::shared_ptr<const detail::ParsedArguments> global_arguments_;
  std::vector<std::shared_ptr<OnShutdownCallback>> on_shutdown_callbacks_;

  std::mutex sleep_mutex_;
  std::condition_variable sleep_cv_;
  std::uint64_t sleep_interruptions_ = 0;
};

/// Every context that is currently initialised (used by the signal handler).
std::vector<Context::SharedPtr> get_contexts();

}  // namespace rclcpp
