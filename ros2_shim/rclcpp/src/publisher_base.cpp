#include "rclcpp/publisher_base.hpp"

#include "rclcpp/detail/topic_bus.hpp"

namespace rclcpp
{

PublisherBase::PublisherBase(
  rclcpp::node_interfaces::NodeBaseInterface * node_base,
  const std::string & topic,
  const rclcpp::QoS & qos,
  std::type_index message_type)
: topic_name_(node_base->resolve_topic_or_service_name(topic, false)),
  qos_(qos),
  message_type_(message_type),
  context_(node_base->get_context()) {}

PublisherBase::~PublisherBase()
{
  detail::bus_remove_publisher(this);
}

const char * PublisherBase::get_topic_name() const {return topic_name_.c_str();}

size_t PublisherBase::get_subscription_count() const
{
  return detail::bus_count_matched_subscriptions(*this);
}

size_t PublisherBase::get_intra_process_subscription_count() const
{
  return get_subscription_count();
}

rclcpp::QoS PublisherBase::get_actual_qos() const {return qos_;}

const std::type_index & PublisherBase::message_type() const {return message_type_;}

std::deque<std::shared_ptr<const void>> & PublisherBase::transient_local_history()
{
  return history_;
}

void PublisherBase::publish_type_erased(std::shared_ptr<const void> message)
{
  // As with rcl, a publisher whose context has shut down drops quietly.
  if (!context_->is_valid()) {
    return;
  }
  detail::bus_publish(*this, std::move(message));
}

}  // namespace rclcpp
