#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "rclcpp/detail/wake_signal.hpp"
#include "rclcpp/macros.hpp"

namespace rclcpp
{

class SubscriptionBase;
class TimerBase;

enum class CallbackGroupType
{
  MutuallyExclusive,
  Reentrant
};

/// A set of callbacks that an executor schedules together: never two at once
/// in a mutually exclusive group, any number at once in a reentrant one.
class CallbackGroup
{
public:
  RCLCPP_SMART_PTR_DEFINITIONS(CallbackGroup)

  explicit CallbackGroup(
    CallbackGroupType group_type,
    bool automatically_add_to_executor_with_node = true);

  CallbackGroup(const CallbackGroup &) = delete;
  CallbackGroup & operator=(const CallbackGroup &) = delete;

  const CallbackGroupType & type() const;
  /// False while a callback of a mutually exclusive group runs.
  std::atomic_bool & can_be_taken_from();
  std::atomic_bool & get_associated_with_executor_atomic();
  bool automatically_add_to_executor_with_node() const;
  /// Number of live entities in the group.
  size_t size() const;

  // Used by nodes, executors and the entities themselves.
  void add_subscription(const std::shared_ptr<SubscriptionBase> & subscription);
  void add_timer(const std::shared_ptr<TimerBase> & timer);
  void collect(
    std::vector<std::shared_ptr<SubscriptionBase>> & subscriptions,
    std::vector<std::shared_ptr<TimerBase>> & timers) const;

  /// Wakes the executor serving this group, or else the one serving its node.
  void notify() const;
  detail::WakeLink & executor_link();
  void set_node_link(std::shared_ptr<detail::WakeLink> node_link);

private:
  const CallbackGroupType type_;
  const bool automatically_add_to_executor_with_node_;
  std::atomic_bool can_be_taken_from_{true};
  std::atomic_bool associated_with_executor_{false};

  mutable std::mutex mutex_;
  mutable std::vector<std::weak_ptr<SubscriptionBase>> subscriptions_;
  mutable std::vector<std::weak_ptr<TimerBase>> timers_;
  detail::WakeLink executor_link_;
  std::shared_ptr<detail::WakeLink> node_link_;
};

}  // namespace rclcpp
