#pragma once

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <type_traits>
#include <utility>

#include "rclcpp/clock.hpp"
#include "rclcpp/context.hpp"
#include "rclcpp/macros.hpp"

namespace rclcpp
{

class CallbackGroup;

/// A periodic trigger.  The schedule runs on the steady clock; a period that
/// is missed entirely is skipped rather than fired late several times.
class TimerBase
{
public:
  RCLCPP_SMART_PTR_DEFINITIONS_NOT_COPYABLE(TimerBase)

  /// Throws std::invalid_argument for a negative period.
  TimerBase(
    Clock::SharedPtr clock, std::chrono::nanoseconds period, rclcpp::Context::SharedPtr context);
  virtual ~TimerBase();

  TimerBase(const TimerBase &) = delete;
  TimerBase & operator=(const TimerBase &) = delete;

  void cancel();
  bool is_canceled();
  /// Restarts the period from now and un-cancels the timer.
  void reset();

  virtual void execute_callback() = 0;
  virtual bool is_steady() = 0;

  Clock::SharedPtr get_clock();
  /// Time left before the next trigger (negative when overdue).
  std::chrono::nanoseconds time_until_trigger();
  bool is_ready();
  /// Claims the due trigger and schedules the next one; false when not due.
  bool call();

  bool exchange_in_use_by_wait_set_state(bool in_use_state);

  // Used by executors and wait sets.
  std::chrono::steady_clock::time_point next_call_time() const;
  void set_callback_group(const std::shared_ptr<CallbackGroup> & group);

protected:
  void notify_owner() const;

  Clock::SharedPtr clock_;
  rclcpp::Context::SharedPtr context_;

private:
  mutable std::mutex mutex_;
  const std::chrono::nanoseconds period_;
  std::chrono::steady_clock::time_point next_call_;
  bool canceled_ = false;
  std::atomic_bool in_use_by_wait_set_{false};
  std::weak_ptr<CallbackGroup> callback_group_;
};

/// A timer calling `void()` or `void(TimerBase &)`.
template<typename FunctorT>
class GenericTimer : public TimerBase
{
public:
  RCLCPP_SMART_PTR_DEFINITIONS(GenericTimer)

  GenericTimer(
    Clock::SharedPtr clock, std::chrono::nanoseconds period, FunctorT && callback,
    rclcpp::Context::SharedPtr context)
  : TimerBase(std::move(clock), period, std::move(context)),
    callback_(std::forward<FunctorT>(callback)) {}

  void execute_callback() override
  {
    if constexpr (std::is_invocable_v<FunctorT &, TimerBase &>) {
      callback_(*this);
    } else {
      static_assert(
        std::is_invocable_v<FunctorT &>,
        "timer callbacks take no argument or a TimerBase reference");
      callback_();
    }
  }

  bool is_steady() override {return clock_->get_clock_type() == RCL_STEADY_TIME;}

protected:
  FunctorT callback_;
};

/// A timer on the steady clock, as made by create_wall_timer.
template<typename FunctorT>
class WallTimer : public GenericTimer<FunctorT>
{
public:
  RCLCPP_SMART_PTR_DEFINITIONS(WallTimer)

  WallTimer(
    std::chrono::nanoseconds period, FunctorT && callback, rclcpp::Context::SharedPtr context)
  : GenericTimer<FunctorT>(
      std::make_shared<Clock>(RCL_STEADY_TIME), period, std::forward<FunctorT>(callback),
      std::move(context)) {}
};

}  // namespace rclcpp
