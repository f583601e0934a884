#pragma once

#include <algorithm>
#include <atomic>
#include <chrono>
#include <future>
#include <memory>
#include <mutex>
#include <vector>

#include "rclcpp/any_executable.hpp"
#include "rclcpp/callback_group.hpp"
#include "rclcpp/context.hpp"
#include "rclcpp/detail/wake_signal.hpp"
#include "rclcpp/executor_options.hpp"
#include "rclcpp/future_return_code.hpp"
#include "rclcpp/macros.hpp"
#include "rclcpp/node_interfaces/node_base_interface.hpp"
#include "rclcpp/utilities.hpp"

namespace rclcpp
{

class Node;

/// Runs the callbacks of the nodes and callback groups added to it.  It
/// sleeps until a message, a timer, a new entity, cancel() or the context's
/// shutdown wakes it.  An exception thrown by a callback leaves spin.
class Executor
{
public:
  RCLCPP_SMART_PTR_DEFINITIONS_NOT_COPYABLE(Executor)

  explicit Executor(const rclcpp::ExecutorOptions & options = rclcpp::ExecutorOptions());
  virtual ~Executor();

  Executor(const Executor &) = delete;
  Executor & operator=(const Executor &) = delete;

  virtual void spin() = 0;

  /// Raises std::runtime_error when the group already belongs to an executor.
  virtual void add_callback_group(
    rclcpp::CallbackGroup::SharedPtr group_ptr,
    rclcpp::node_interfaces::NodeBaseInterface::SharedPtr node_ptr,
    bool notify = true);
  virtual std::vector<rclcpp::CallbackGroup::WeakPtr> get_all_callback_groups();
  virtual void remove_callback_group(rclcpp::CallbackGroup::SharedPtr group_ptr, bool notify = true);

  /// Raises std::runtime_error when the node already belongs to an executor.
  virtual void add_node(
    rclcpp::node_interfaces::NodeBaseInterface::SharedPtr node_ptr, bool notify = true);
  virtual void add_node(std::shared_ptr<rclcpp::Node> node_ptr, bool notify = true);
  virtual void remove_node(
    rclcpp::node_interfaces::NodeBaseInterface::SharedPtr node_ptr, bool notify = true);
  virtual void remove_node(std::shared_ptr<rclcpp::Node> node_ptr, bool notify = true);

  template<typename RepT = int64_t, typename T = std::milli>
  void spin_node_once(
    rclcpp::node_interfaces::NodeBaseInterface::SharedPtr node,
    std::chrono::duration<RepT, T> timeout = std::chrono::duration<RepT, T>(-1))
  {
    add_node(node, false);
    try {
      spin_once(timeout);
    } catch (...) {
      remove_node(node, false);
      throw;
    }
    remove_node(node, false);
  }

  void spin_node_some(rclcpp::node_interfaces::NodeBaseInterface::SharedPtr node);
  void spin_node_some(std::shared_ptr<rclcpp::Node> node);

  /// Runs each piece of work that is ready now once, within max_duration (0: no limit).
  virtual void spin_some(std::chrono::nanoseconds max_duration = std::chrono::nanoseconds(0));
  /// Runs ready work until none is left or max_duration has passed.
  virtual void spin_all(std::chrono::nanoseconds max_duration);
  /// Waits up to timeout (negative: without limit) for one piece of work and runs it.
  virtual void spin_once(std::chrono::nanoseconds timeout = std::chrono::nanoseconds(-1));

  template<typename FutureT, typename TimeRepT = int64_t, typename TimeT = std::milli>
  FutureReturnCode spin_until_future_complete(
    const FutureT & future,
    std::chrono::duration<TimeRepT, TimeT> timeout = std::chrono::duration<TimeRepT, TimeT>(-1))
  {
    using std::chrono::steady_clock;
    if (future.wait_for(std::chrono::seconds(0)) == std::future_status::ready) {
      return FutureReturnCode::SUCCESS;
    }
    const auto timeout_ns = std::chrono::duration_cast<std::chrono::nanoseconds>(timeout);
    const auto end = steady_clock::now() + timeout_ns;
    SpinGuard guard(*this, "spin_until_future_complete() called while already spinning");
    while (rclcpp::ok(context_) && spinning.load()) {
      // The future cannot wake the executor, so look at it at least every 10 ms.
      auto slice = std::chrono::nanoseconds(std::chrono::milliseconds(10));
      if (timeout_ns >= std::chrono::nanoseconds::zero()) {
        slice = std::min(slice, std::chrono::duration_cast<std::chrono::nanoseconds>(
            end - steady_clock::now()));
      }
      spin_once_impl(std::max(slice, std::chrono::nanoseconds::zero()));
      if (future.wait_for(std::chrono::seconds(0)) == std::future_status::ready) {
        return FutureReturnCode::SUCCESS;
      }
      if (timeout_ns >= std::chrono::nanoseconds::zero() && steady_clock::now() >= end) {
        return FutureReturnCode::TIMEOUT;
      }
    }
    return FutureReturnCode::INTERRUPTED;
  }

  /// Makes a running spin return as soon as its current callback ends.
  virtual void cancel();
  bool is_spinning();

protected:
  /// Sets `spinning` for a scope; raises std::runtime_error when already set.
  class SpinGuard
  {
public:
    SpinGuard(Executor & executor, const char * message);
    ~SpinGuard();

private:
    Executor & executor_;
  };

  /// Waits up to timeout (negative: forever) for ready work; false on
  /// timeout, cancel or shutdown.
  bool get_next_executable(
    AnyExecutable & any_executable,
    std::chrono::nanoseconds timeout = std::chrono::nanoseconds(-1));
  /// Runs the work and frees its callback group again, also when it throws.
  void execute_any_executable(AnyExecutable & any_exec);
  void spin_once_impl(std::chrono::nanoseconds timeout);

  std::atomic_bool spinning{false};
  rclcpp::Context::SharedPtr context_;

private:
  struct GroupAndNode
  {
    rclcpp::CallbackGroup::SharedPtr group;
    rclcpp::node_interfaces::NodeBaseInterface::SharedPtr node;
  };
  struct ExplicitGroup
  {
    rclcpp::CallbackGroup::WeakPtr group;
    rclcpp::node_interfaces::NodeBaseInterface::WeakPtr node;
  };

  std::vector<GroupAndNode> collect_groups();
  /// Picks one piece of ready work, skipping the entities in `exclude`;
  /// reports the earliest pending timer of the free groups in next_timer.
  bool find_ready(
    AnyExecutable & any_executable, const std::vector<const void *> & exclude,
    std::chrono::steady_clock::time_point & next_timer);
  void release_group(const rclcpp::CallbackGroup::SharedPtr & group);
  void release_node_groups(const rclcpp::node_interfaces::NodeBaseInterface::SharedPtr & node);
  void spin_some_impl(std::chrono::nanoseconds max_duration, bool exhaustive);

  std::shared_ptr<detail::WakeSignal> wake_;
  rclcpp::OnShutdownCallbackHandle shutdown_callback_handle_;

  std::mutex mutex_;  // guards the collections below
  std::vector<rclcpp::node_interfaces::NodeBaseInterface::WeakPtr> nodes_;
  std::vector<ExplicitGroup> explicit_groups_;
  size_t rotation_ = 0;
};

}  // namespace rclcpp
