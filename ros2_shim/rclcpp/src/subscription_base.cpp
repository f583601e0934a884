#include "rclcpp/subscription_base.hpp"

#include <chrono>

#include "rclcpp/detail/topic_bus.hpp"

namespace rclcpp
{
namespace
{

int64_t system_now_ns()
{
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
    std::chrono::system_clock::now().time_since_epoch()).count();
}

}  // namespace

SubscriptionBase::SubscriptionBase(
  rclcpp::node_interfaces::NodeBaseInterface * node_base,
  const std::string & topic_name,
  const rclcpp::QoS & qos,
  std::type_index message_type)
: topic_name_(node_base->resolve_topic_or_service_name(topic_name, false)),
  qos_(qos),
  message_type_(message_type),
  context_(node_base->get_context()) {}

SubscriptionBase::~SubscriptionBase()
{
  detail::bus_remove_subscription(this);
}

const char * SubscriptionBase::get_topic_name() const {return topic_name_.c_str();}

rclcpp::QoS SubscriptionBase::get_actual_qos() const {return qos_;}

size_t SubscriptionBase::get_publisher_count() const
{
  return detail::bus_count_matched_publishers(*this);
}

bool SubscriptionBase::exchange_in_use_by_wait_set_state(void *, bool in_use_state)
{
  return in_use_by_wait_set_.exchange(in_use_state);
}

const std::type_index & SubscriptionBase::message_type() const {return message_type_;}

void SubscriptionBase::deliver(std::shared_ptr<const void> message)
{
  {
    std::lock_guard<std::mutex> lock(queue_mutex_);
    queue_.push_back(Received{std::move(message), system_now_ns()});
    // Keep-last drops the oldest; depth 0 still keeps the newest message.
    if (qos_.history() != HistoryPolicy::KeepAll) {
      const size_t depth = qos_.depth() > 0 ? qos_.depth() : 1;
      while (queue_.size() > depth) {
        queue_.pop_front();
      }
    }
  }
  notify_ready();
}

void SubscriptionBase::notify_ready()
{
  std::shared_ptr<CallbackGroup> group;
  {
    std::lock_guard<std::mutex> lock(queue_mutex_);
    group = callback_group_.lock();
  }
  // Both may wait on it: the executor serving its group and a wait set.
  if (group) {
    group->notify();
  }
  if (in_use_by_wait_set_.load()) {
    wait_set_link_.notify();
  }
}

bool SubscriptionBase::has_message() const
{
  std::lock_guard<std::mutex> lock(queue_mutex_);
  return !queue_.empty();
}

std::shared_ptr<const void> SubscriptionBase::take_next(rclcpp::MessageInfo & message_info)
{
  std::lock_guard<std::mutex> lock(queue_mutex_);
  if (queue_.empty()) {
    return nullptr;
  }
  Received received = std::move(queue_.front());
  queue_.pop_front();
  message_info.set_timestamps(received.received_ns, received.received_ns);
  return std::move(received.message);
}

detail::WakeLink & SubscriptionBase::wait_set_link() {return wait_set_link_;}

void SubscriptionBase::set_callback_group(const std::shared_ptr<CallbackGroup> & group)
{
  std::lock_guard<std::mutex> lock(queue_mutex_);
  callback_group_ = group;
}

rclcpp::Context::SharedPtr SubscriptionBase::get_context() const {return context_;}

}  // namespace rclcpp
