#include "rclcpp/executor.hpp"

#include <stdexcept>
#include <string>

#include "rclcpp/node.hpp"

namespace rclcpp
{
namespace
{

using SteadyClock = std::chrono::steady_clock;

bool contains(const std::vector<const void *> & pointers, const void * pointer)
{
  return std::find(pointers.begin(), pointers.end(), pointer) != pointers.end();
}

}  // namespace

Executor::Executor(const rclcpp::ExecutorOptions & options)
: context_(options.context), wake_(std::make_shared<detail::WakeSignal>())
{
  if (!context_) {
    throw std::invalid_argument("executor options carry no context");
  }
  shutdown_callback_handle_ = context_->add_on_shutdown_callback(
    [weak = std::weak_ptr<detail::WakeSignal>(wake_)] {
      if (auto wake = weak.lock()) {
        wake->notify();
      }
    });
}

Executor::~Executor()
{
  std::vector<node_interfaces::NodeBaseInterface::SharedPtr> nodes;
  std::vector<CallbackGroup::SharedPtr> groups;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const auto & weak : nodes_) {
      if (auto node = weak.lock()) {
        nodes.push_back(std::move(node));
      }
    }
    for (const auto & entry : explicit_groups_) {
      if (auto group = entry.group.lock()) {
        groups.push_back(std::move(group));
      }
    }
  }
  for (const auto & node : nodes) {
    remove_node(node, false);
  }
  for (const auto & group : groups) {
    remove_callback_group(group, false);
  }
  context_->remove_on_shutdown_callback(shutdown_callback_handle_);
}

void Executor::add_callback_group(
  rclcpp::CallbackGroup::SharedPtr group_ptr,
  rclcpp::node_interfaces::NodeBaseInterface::SharedPtr node_ptr, bool notify)
{
  if (!group_ptr || !node_ptr) {
    throw std::invalid_argument("add_callback_group needs a group and its node");
  }
  if (group_ptr->get_associated_with_executor_atomic().exchange(true)) {
    throw std::runtime_error("Callback group has already been added to an executor.");
  }
  group_ptr->executor_link().set(wake_);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    explicit_groups_.push_back({group_ptr, node_ptr});
  }
  if (notify) {
    wake_->notify();
  }
}

std::vector<rclcpp::CallbackGroup::WeakPtr> Executor::get_all_callback_groups()
{
  std::vector<CallbackGroup::WeakPtr> groups;
  for (const auto & entry : collect_groups()) {
    groups.push_back(entry.group);
  }
  return groups;
}

void Executor::remove_callback_group(rclcpp::CallbackGroup::SharedPtr group_ptr, bool notify)
{
  bool found = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto it = explicit_groups_.begin(); it != explicit_groups_.end(); ) {
      auto group = it->group.lock();
      if (!group || group == group_ptr) {
        found = found || group == group_ptr;
        it = explicit_groups_.erase(it);
      } else {
        ++it;
      }
    }
  }
  if (!found) {
    throw std::runtime_error("Callback group needs to be associated with this executor.");
  }
  release_group(group_ptr);
  if (notify) {
    wake_->notify();
  }
}

void Executor::add_node(
  rclcpp::node_interfaces::NodeBaseInterface::SharedPtr node_ptr, bool notify)
{
  if (!node_ptr) {
    throw std::invalid_argument("add_node needs a node");
  }
  if (node_ptr->get_associated_with_executor_atomic().exchange(true)) {
    throw std::runtime_error(
            std::string("Node '") + node_ptr->get_fully_qualified_name() +
            "' has already been added to an executor.");
  }
  node_ptr->get_notify_guard_condition().wake_link().set(wake_);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    nodes_.push_back(node_ptr);
  }
  if (notify) {
    wake_->notify();
  }
}

void Executor::add_node(std::shared_ptr<rclcpp::Node> node_ptr, bool notify)
{
  add_node(node_ptr->get_node_base_interface(), notify);
}

void Executor::remove_node(
  rclcpp::node_interfaces::NodeBaseInterface::SharedPtr node_ptr, bool notify)
{
  bool found = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto it = nodes_.begin(); it != nodes_.end(); ) {
      auto node = it->lock();
      if (!node || node == node_ptr) {
        found = found || node == node_ptr;
        it = nodes_.erase(it);
      } else {
        ++it;
      }
    }
  }
  if (!found) {
    throw std::runtime_error("Node needs to be associated with this executor.");
  }
  release_node_groups(node_ptr);
  node_ptr->get_notify_guard_condition().wake_link().clear_if(wake_);
  node_ptr->get_associated_with_executor_atomic().store(false);
  if (notify) {
    wake_->notify();
  }
}

void Executor::remove_node(std::shared_ptr<rclcpp::Node> node_ptr, bool notify)
{
  remove_node(node_ptr->get_node_base_interface(), notify);
}

void Executor::spin_node_some(rclcpp::node_interfaces::NodeBaseInterface::SharedPtr node)
{
  add_node(node, false);
  try {
    spin_some();
  } catch (...) {
    remove_node(node, false);
    throw;
  }
  remove_node(node, false);
}

void Executor::spin_node_some(std::shared_ptr<rclcpp::Node> node)
{
  spin_node_some(node->get_node_base_interface());
}

void Executor::spin_some(std::chrono::nanoseconds max_duration)
{
  spin_some_impl(max_duration, false);
}

void Executor::spin_all(std::chrono::nanoseconds max_duration)
{
  if (max_duration < std::chrono::nanoseconds::zero()) {
    throw std::invalid_argument("max_duration must be greater than or equal to 0");
  }
  spin_some_impl(max_duration, true);
}

void Executor::spin_some_impl(std::chrono::nanoseconds max_duration, bool exhaustive)
{
  const auto start = SteadyClock::now();
  auto within_time = [&] {
      return max_duration == std::chrono::nanoseconds::zero() ||
             SteadyClock::now() - start < max_duration;
    };
  SpinGuard guard(*this, "spin_some() called while already spinning");
  // Without exhaustive, each entity runs at most once: the work that was
  // ready when spin_some began, not what keeps arriving.
  std::vector<const void *> done;
  while (rclcpp::ok(context_) && spinning.load() && within_time()) {
    AnyExecutable any_exec;
    auto next_timer = SteadyClock::time_point::max();
    if (!find_ready(any_exec, done, next_timer)) {
      break;
    }
    if (!exhaustive) {
      done.push_back(any_exec.subscription ?
        static_cast<const void *>(any_exec.subscription.get()) :
        static_cast<const void *>(any_exec.timer.get()));
    }
    execute_any_executable(any_exec);
  }
}

void Executor::spin_once(std::chrono::nanoseconds timeout)
{
  SpinGuard guard(*this, "spin_once() called while already spinning");
  spin_once_impl(timeout);
}

void Executor::spin_once_impl(std::chrono::nanoseconds timeout)
{
  AnyExecutable any_exec;
  if (get_next_executable(any_exec, timeout)) {
    execute_any_executable(any_exec);
  }
}

void Executor::cancel()
{
  spinning.store(false);
  wake_->notify();
}

bool Executor::is_spinning() {return spinning.load();}

Executor::SpinGuard::SpinGuard(Executor & executor, const char * message)
: executor_(executor)
{
  if (executor_.spinning.exchange(true)) {
    throw std::runtime_error(message);
  }
}

Executor::SpinGuard::~SpinGuard() {executor_.spinning.store(false);}

bool Executor::get_next_executable(AnyExecutable & any_executable, std::chrono::nanoseconds timeout)
{
  const auto deadline = timeout < std::chrono::nanoseconds::zero() ?
    SteadyClock::time_point::max() : SteadyClock::now() + timeout;
  const std::vector<const void *> nothing_excluded;
  for (;;) {
    if (!rclcpp::ok(context_) || !spinning.load()) {
      return false;
    }
    // Read the generation before looking, so a wake-up between the look and
    // the sleep ends the sleep at once.
    const auto seen = wake_->generation();
    auto next_timer = SteadyClock::time_point::max();
    if (find_ready(any_executable, nothing_excluded, next_timer)) {
      return true;
    }
    if (SteadyClock::now() >= deadline) {
      return false;
    }
    wake_->wait_until(seen, std::min(deadline, next_timer));
  }
}

void Executor::execute_any_executable(AnyExecutable & any_exec)
{
  struct ReleaseOnExit
  {
    Executor & executor;
    const CallbackGroup::SharedPtr & group;
    ~ReleaseOnExit()
    {
      if (group && group->type() == CallbackGroupType::MutuallyExclusive) {
        group->can_be_taken_from().store(true);
      }
      executor.wake_->notify();
    }
  } release{*this, any_exec.callback_group};

  if (any_exec.subscription) {
    any_exec.subscription->handle_message(any_exec.message, any_exec.message_info);
  } else if (any_exec.timer) {
    any_exec.timer->execute_callback();
  }
}

std::vector<Executor::GroupAndNode> Executor::collect_groups()
{
  std::vector<GroupAndNode> groups;
  std::lock_guard<std::mutex> lock(mutex_);
  for (const auto & weak_node : nodes_) {
    auto node = weak_node.lock();
    if (!node) {
      continue;
    }
    node->for_each_callback_group(
      [&](const CallbackGroup::SharedPtr & group) {
        if (!group->automatically_add_to_executor_with_node()) {
          return;
        }
        if (!group->executor_link().is(wake_)) {
          // A group created after add_node joins here unless another
          // executor took it explicitly.
          if (group->get_associated_with_executor_atomic().exchange(true)) {
            return;
          }
          group->executor_link().set(wake_);
        }
        groups.push_back({group, node});
      });
  }
  for (const auto & entry : explicit_groups_) {
    auto group = entry.group.lock();
    auto node = entry.node.lock();
    if (group && node) {
      groups.push_back({group, node});
    }
  }
  return groups;
}

bool Executor::find_ready(
  AnyExecutable & any_executable, const std::vector<const void *> & exclude,
  SteadyClock::time_point & next_timer)
{
  struct Candidate
  {
    SubscriptionBase::SharedPtr subscription;
    const GroupAndNode * owner;
  };
  const auto groups = collect_groups();
  std::vector<Candidate> candidates;
  auto claim = [&](const GroupAndNode & owner) {
      any_executable.callback_group = owner.group;
      any_executable.node_base = owner.node;
      if (owner.group->type() == CallbackGroupType::MutuallyExclusive) {
        owner.group->can_be_taken_from().store(false);
      }
    };
  std::vector<SubscriptionBase::SharedPtr> subscriptions;
  std::vector<TimerBase::SharedPtr> timers;
  // Timers first, as upstream does, then subscriptions in turn.
  for (const auto & owner : groups) {
    if (!owner.group->can_be_taken_from().load()) {
      continue;  // its running callback wakes us when it ends
    }
    subscriptions.clear();
    timers.clear();
    owner.group->collect(subscriptions, timers);
    for (const auto & timer : timers) {
      if (contains(exclude, timer.get())) {
        continue;
      }
      if (timer->call()) {
        any_executable.timer = timer;
        claim(owner);
        return true;
      }
      next_timer = std::min(next_timer, timer->next_call_time());
    }
    for (auto & subscription : subscriptions) {
      // A subscription that is also in a wait set stays the executor's too:
      // whoever takes first gets the message, as with rcl.
      if (!contains(exclude, subscription.get()) && subscription->has_message()) {
        candidates.push_back({std::move(subscription), &owner});
      }
    }
  }
  if (candidates.empty()) {
    return false;
  }
  // Start where the last pick left off so a busy topic cannot starve the others.
  const size_t start = rotation_++ % candidates.size();
  for (size_t i = 0; i < candidates.size(); ++i) {
    const auto & candidate = candidates[(start + i) % candidates.size()];
    if (!candidate.owner->group->can_be_taken_from().load()) {
      continue;
    }
    auto message = candidate.subscription->take_next(any_executable.message_info);
    if (message) {
      any_executable.subscription = candidate.subscription;
      any_executable.message = std::move(message);
      claim(*candidate.owner);
      return true;
    }
  }
  return false;
}

void Executor::release_group(const rclcpp::CallbackGroup::SharedPtr & group)
{
  if (group->executor_link().is(wake_)) {
    group->executor_link().clear_if(wake_);
    group->get_associated_with_executor_atomic().store(false);
  }
}

void Executor::release_node_groups(
  const rclcpp::node_interfaces::NodeBaseInterface::SharedPtr & node)
{
  node->for_each_callback_group(
    [&](const CallbackGroup::SharedPtr & group) {
      if (group->automatically_add_to_executor_with_node()) {
        release_group(group);
      }
    });
}

std::string to_string(const FutureReturnCode & future_return_code)
{
  switch (future_return_code) {
    case FutureReturnCode::SUCCESS: return "SUCCESS (0)";
    case FutureReturnCode::INTERRUPTED: return "INTERRUPTED (1)";
    case FutureReturnCode::TIMEOUT: return "TIMEOUT (2)";
  }
  return "UNKNOWN";
}

std::ostream & operator<<(std::ostream & os, const FutureReturnCode & future_return_code)
{
  return os << to_string(future_return_code);
}

}  // namespace rclcpp
