// The in-process transport: topics keyed by their resolved name, each with
// one message type.  Publishing hands the same immutable message to every
// matching subscription's queue.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <typeindex>

namespace rclcpp
{

class PublisherBase;
class SubscriptionBase;

namespace detail
{

/// Readable C++ name of a message type, for error texts.
std::string demangle(const std::type_index & type);

/// Raises std::runtime_error when the topic already carries another type.
void bus_add_publisher(const std::shared_ptr<PublisherBase> & publisher);
/// Also replays the history of transient-local publishers to a
/// transient-local subscription.  Raises like bus_add_publisher.
void bus_add_subscription(const std::shared_ptr<SubscriptionBase> & subscription);
void bus_remove_publisher(const PublisherBase * publisher);
void bus_remove_subscription(const SubscriptionBase * subscription);

void bus_publish(PublisherBase & publisher, std::shared_ptr<const void> message);

/// Live endpoints on a topic, whatever their QoS.
size_t bus_count_publishers(const std::string & topic_name);
size_t bus_count_subscriptions(const std::string & topic_name);
/// Live endpoints whose QoS matches this endpoint's.
size_t bus_count_matched_subscriptions(const PublisherBase & publisher);
size_t bus_count_matched_publishers(const SubscriptionBase & subscription);

}  // namespace detail
}  // namespace rclcpp
