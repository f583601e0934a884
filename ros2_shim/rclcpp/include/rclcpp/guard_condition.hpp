#pragma once

#include <atomic>
#include <memory>

#include "rclcpp/context.hpp"
#include "rclcpp/contexts/default_context.hpp"
#include "rclcpp/detail/wake_signal.hpp"
#include "rclcpp/macros.hpp"

namespace rclcpp
{

/// A condition a wait set wakes on when some thread triggers it.  A wait
/// consumes the trigger.
class GuardCondition
{
public:
  RCLCPP_SMART_PTR_DEFINITIONS_NOT_COPYABLE(GuardCondition)

  explicit GuardCondition(
    rclcpp::Context::SharedPtr context = rclcpp::contexts::get_global_default_context());
  virtual ~GuardCondition();

  GuardCondition(const GuardCondition &) = delete;
  GuardCondition & operator=(const GuardCondition &) = delete;

  rclcpp::Context::SharedPtr get_context() const;

  void trigger();

  /// Marks the condition as held by a wait set; returns the previous state.
  bool exchange_in_use_by_wait_set_state(bool in_use_state);

  // Used by wait sets and executors.
  bool is_triggered() const;
  bool take_triggered();
  detail::WakeLink & wake_link();

private:
  rclcpp::Context::SharedPtr context_;
  std::atomic_bool triggered_{false};
  std::atomic_bool in_use_by_wait_set_{false};
  detail::WakeLink wake_link_;
};

}  // namespace rclcpp
