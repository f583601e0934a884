#pragma once

#include <chrono>
#include <memory>
#include <vector>

#include "rcl/wait.h"
#include "rclcpp/context.hpp"
#include "rclcpp/contexts/default_context.hpp"
#include "rclcpp/detail/wake_signal.hpp"
#include "rclcpp/guard_condition.hpp"
#include "rclcpp/subscription_base.hpp"
#include "rclcpp/timer.hpp"
#include "rclcpp/wait_result.hpp"

namespace rclcpp
{

/// Waits until a subscription has a message, a guard condition was
/// triggered or a timer is due.  An executor serving a subscription's callback
/// group keeps taking its messages meanwhile, so a subscription meant for a
/// wait set belongs in a group no executor spins.  The stand-in has no clients,
/// services or waitables; those lists must stay empty.
class WaitSet
{
public:
  explicit WaitSet(
    const std::vector<std::shared_ptr<rclcpp::SubscriptionBase>> & subscriptions = {},
    const std::vector<std::shared_ptr<rclcpp::GuardCondition>> & guard_conditions = {},
    const std::vector<std::shared_ptr<rclcpp::TimerBase>> & timers = {},
    const std::vector<std::shared_ptr<void>> & clients = {},
    const std::vector<std::shared_ptr<void>> & services = {},
    const std::vector<std::shared_ptr<void>> & waitables = {},
    rclcpp::Context::SharedPtr context = rclcpp::contexts::get_global_default_context());
  ~WaitSet();

  WaitSet(const WaitSet &) = delete;
  WaitSet & operator=(const WaitSet &) = delete;

  /// Raises std::runtime_error when the entity is already in a wait set.
  void add_subscription(std::shared_ptr<rclcpp::SubscriptionBase> subscription);
  void remove_subscription(std::shared_ptr<rclcpp::SubscriptionBase> subscription);
  void add_guard_condition(std::shared_ptr<rclcpp::GuardCondition> guard_condition);
  void remove_guard_condition(std::shared_ptr<rclcpp::GuardCondition> guard_condition);
  void add_timer(std::shared_ptr<rclcpp::TimerBase> timer);
  void remove_timer(std::shared_ptr<rclcpp::TimerBase> timer);

  /// Waits up to time_to_wait (negative: without limit).  Consumes the
  /// triggers of the guard conditions it reports.
  template<class Rep = int64_t, class Period = std::milli>
  WaitResult<WaitSet> wait(
    std::chrono::duration<Rep, Period> time_to_wait = std::chrono::duration<Rep, Period>(-1))
  {
    return wait_for(std::chrono::duration_cast<std::chrono::nanoseconds>(time_to_wait));
  }

  /// After a Ready wait: non-null entries mark the ready entities, in the
  /// order they were added.
  const rcl_wait_set_t & get_rcl_wait_set() const;
  rclcpp::Context::SharedPtr get_context() const;

private:
  WaitResult<WaitSet> wait_for(std::chrono::nanoseconds time_to_wait);
  /// Fills the readiness record; true when anything is ready.
  bool collect_ready();

  rclcpp::Context::SharedPtr context_;
  std::shared_ptr<detail::WakeSignal> wake_;
  std::vector<std::shared_ptr<rclcpp::SubscriptionBase>> subscriptions_;
  std::vector<std::shared_ptr<rclcpp::GuardCondition>> guard_conditions_;
  std::vector<std::shared_ptr<rclcpp::TimerBase>> timers_;

  std::vector<const rcl_subscription_t *> ready_subscriptions_;
  std::vector<const rcl_guard_condition_t *> ready_guard_conditions_;
  std::vector<const rcl_timer_t *> ready_timers_;
  rcl_wait_set_t rcl_wait_set_{};
};

}  // namespace rclcpp
