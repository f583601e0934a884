#include "rclcpp/callback_group.hpp"

#include <algorithm>

namespace rclcpp
{
namespace
{

template<typename T>
void drop_expired(std::vector<std::weak_ptr<T>> & entities)
{
  entities.erase(
    std::remove_if(
      entities.begin(), entities.end(),
      [](const std::weak_ptr<T> & weak) {return weak.expired();}),
    entities.end());
}

}  // namespace

CallbackGroup::CallbackGroup(
  CallbackGroupType group_type, bool automatically_add_to_executor_with_node)
: type_(group_type),
  automatically_add_to_executor_with_node_(automatically_add_to_executor_with_node) {}

const CallbackGroupType & CallbackGroup::type() const {return type_;}

std::atomic_bool & CallbackGroup::can_be_taken_from() {return can_be_taken_from_;}

std::atomic_bool & CallbackGroup::get_associated_with_executor_atomic()
{
  return associated_with_executor_;
}

bool CallbackGroup::automatically_add_to_executor_with_node() const
{
  return automatically_add_to_executor_with_node_;
}

size_t CallbackGroup::size() const
{
  std::lock_guard<std::mutex> lock(mutex_);
  drop_expired(subscriptions_);
  drop_expired(timers_);
  return subscriptions_.size() + timers_.size();
}

void CallbackGroup::add_subscription(const std::shared_ptr<SubscriptionBase> & subscription)
{
  std::lock_guard<std::mutex> lock(mutex_);
  drop_expired(subscriptions_);
  subscriptions_.push_back(subscription);
}

void CallbackGroup::add_timer(const std::shared_ptr<TimerBase> & timer)
{
  std::lock_guard<std::mutex> lock(mutex_);
  drop_expired(timers_);
  timers_.push_back(timer);
}

void CallbackGroup::collect(
  std::vector<std::shared_ptr<SubscriptionBase>> & subscriptions,
  std::vector<std::shared_ptr<TimerBase>> & timers) const
{
  std::lock_guard<std::mutex> lock(mutex_);
  for (const auto & weak : subscriptions_) {
    if (auto subscription = weak.lock()) {
      subscriptions.push_back(std::move(subscription));
    }
  }
  for (const auto & weak : timers_) {
    if (auto timer = weak.lock()) {
      timers.push_back(std::move(timer));
    }
  }
}

void CallbackGroup::notify() const
{
  if (executor_link_.notify()) {
    return;
  }
  std::shared_ptr<detail::WakeLink> node_link;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    node_link = node_link_;
  }
  if (node_link) {
    node_link->notify();
  }
}

detail::WakeLink & CallbackGroup::executor_link() {return executor_link_;}

void CallbackGroup::set_node_link(std::shared_ptr<detail::WakeLink> node_link)
{
  std::lock_guard<std::mutex> lock(mutex_);
  node_link_ = std::move(node_link);
}

}  // namespace rclcpp
