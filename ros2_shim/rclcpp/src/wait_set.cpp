#include "rclcpp/wait_set.hpp"

#include <algorithm>
#include <stdexcept>

namespace rclcpp
{
namespace
{

using SteadyClock = std::chrono::steady_clock;

template<typename T>
void erase_one(std::vector<std::shared_ptr<T>> & entities, const std::shared_ptr<T> & entity)
{
  auto found = std::find(entities.begin(), entities.end(), entity);
  if (found == entities.end()) {
    throw std::runtime_error("entity not in this wait set");
  }
  entities.erase(found);
}

}  // namespace

WaitSet::WaitSet(
  const std::vector<std::shared_ptr<rclcpp::SubscriptionBase>> & subscriptions,
  const std::vector<std::shared_ptr<rclcpp::GuardCondition>> & guard_conditions,
  const std::vector<std::shared_ptr<rclcpp::TimerBase>> & timers,
  const std::vector<std::shared_ptr<void>> & clients,
  const std::vector<std::shared_ptr<void>> & services,
  const std::vector<std::shared_ptr<void>> & waitables,
  rclcpp::Context::SharedPtr context)
: context_(std::move(context)), wake_(std::make_shared<detail::WakeSignal>())
{
  if (!clients.empty() || !services.empty() || !waitables.empty()) {
    throw std::invalid_argument("wait sets here hold subscriptions, guard conditions and timers only");
  }
  for (const auto & subscription : subscriptions) {
    add_subscription(subscription);
  }
  for (const auto & guard_condition : guard_conditions) {
    add_guard_condition(guard_condition);
  }
  for (const auto & timer : timers) {
    add_timer(timer);
  }
}

WaitSet::~WaitSet()
{
  for (const auto & subscription : subscriptions_) {
    subscription->wait_set_link().clear_if(wake_);
    subscription->exchange_in_use_by_wait_set_state(subscription.get(), false);
  }
  for (const auto & guard_condition : guard_conditions_) {
    guard_condition->wake_link().clear_if(wake_);
    guard_condition->exchange_in_use_by_wait_set_state(false);
  }
  for (const auto & timer : timers_) {
    timer->exchange_in_use_by_wait_set_state(false);
  }
}

void WaitSet::add_subscription(std::shared_ptr<rclcpp::SubscriptionBase> subscription)
{
  if (!subscription) {
    throw std::invalid_argument("subscription is nullptr");
  }
  if (subscription->exchange_in_use_by_wait_set_state(subscription.get(), true)) {
    throw std::runtime_error("subscription already associated with a wait set");
  }
  subscription->wait_set_link().set(wake_);
  subscriptions_.push_back(std::move(subscription));
}

void WaitSet::remove_subscription(std::shared_ptr<rclcpp::SubscriptionBase> subscription)
{
  erase_one(subscriptions_, subscription);
  subscription->wait_set_link().clear_if(wake_);
  subscription->exchange_in_use_by_wait_set_state(subscription.get(), false);
}

void WaitSet::add_guard_condition(std::shared_ptr<rclcpp::GuardCondition> guard_condition)
{
  if (!guard_condition) {
    throw std::invalid_argument("guard_condition is nullptr");
  }
  if (guard_condition->exchange_in_use_by_wait_set_state(true)) {
    throw std::runtime_error("guard condition already in use by another wait set");
  }
  guard_condition->wake_link().set(wake_);
  guard_conditions_.push_back(std::move(guard_condition));
}

void WaitSet::remove_guard_condition(std::shared_ptr<rclcpp::GuardCondition> guard_condition)
{
  erase_one(guard_conditions_, guard_condition);
  guard_condition->wake_link().clear_if(wake_);
  guard_condition->exchange_in_use_by_wait_set_state(false);
}

void WaitSet::add_timer(std::shared_ptr<rclcpp::TimerBase> timer)
{
  if (!timer) {
    throw std::invalid_argument("timer is nullptr");
  }
  if (timer->exchange_in_use_by_wait_set_state(true)) {
    throw std::runtime_error("timer already in use by another wait set");
  }
  timers_.push_back(std::move(timer));
}

void WaitSet::remove_timer(std::shared_ptr<rclcpp::TimerBase> timer)
{
  erase_one(timers_, timer);
  timer->exchange_in_use_by_wait_set_state(false);
}

const rcl_wait_set_t & WaitSet::get_rcl_wait_set() const {return rcl_wait_set_;}

rclcpp::Context::SharedPtr WaitSet::get_context() const {return context_;}

bool WaitSet::collect_ready()
{
  bool any = false;
  ready_subscriptions_.assign(subscriptions_.size(), nullptr);
  for (size_t i = 0; i < subscriptions_.size(); ++i) {
    if (subscriptions_[i]->has_message()) {
      ready_subscriptions_[i] = reinterpret_cast<const rcl_subscription_t *>(subscriptions_[i].get());
      any = true;
    }
  }
  ready_guard_conditions_.assign(guard_conditions_.size(), nullptr);
  for (size_t i = 0; i < guard_conditions_.size(); ++i) {
    if (guard_conditions_[i]->take_triggered()) {
      ready_guard_conditions_[i] =
        reinterpret_cast<const rcl_guard_condition_t *>(guard_conditions_[i].get());
      any = true;
    }
  }
  ready_timers_.assign(timers_.size(), nullptr);
  for (size_t i = 0; i < timers_.size(); ++i) {
    if (timers_[i]->is_ready()) {
      ready_timers_[i] = reinterpret_cast<const rcl_timer_t *>(timers_[i].get());
      any = true;
    }
  }
  rcl_wait_set_.subscriptions = ready_subscriptions_.data();
  rcl_wait_set_.size_of_subscriptions = ready_subscriptions_.size();
  rcl_wait_set_.guard_conditions = ready_guard_conditions_.data();
  rcl_wait_set_.size_of_guard_conditions = ready_guard_conditions_.size();
  rcl_wait_set_.timers = ready_timers_.data();
  rcl_wait_set_.size_of_timers = ready_timers_.size();
  return any;
}

WaitResult<WaitSet> WaitSet::wait_for(std::chrono::nanoseconds time_to_wait)
{
  if (subscriptions_.empty() && guard_conditions_.empty() && timers_.empty()) {
    return WaitResult<WaitSet>::from_empty_wait_result_kind();
  }
  const auto deadline = time_to_wait < std::chrono::nanoseconds::zero() ?
    SteadyClock::time_point::max() : SteadyClock::now() + time_to_wait;
  for (;;) {
    const auto seen = wake_->generation();
    if (collect_ready()) {
      return WaitResult<WaitSet>::from_ready_wait_result_kind(*this);
    }
    if (SteadyClock::now() >= deadline) {
      return WaitResult<WaitSet>::from_timeout_wait_result_kind();
    }
    auto wake_at = deadline;
    for (const auto & timer : timers_) {
      wake_at = std::min(wake_at, timer->next_call_time());
    }
    wake_->wait_until(seen, wake_at);
  }
}

}  // namespace rclcpp
