#include "rclcpp/detail/topic_bus.hpp"

#include <cxxabi.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <mutex>
#include <stdexcept>
#include <vector>

#include "rclcpp/logging.hpp"
#include "rclcpp/publisher_base.hpp"
#include "rclcpp/subscription_base.hpp"

namespace rclcpp
{
namespace detail
{
namespace
{

template<typename T>
struct Endpoint
{
  const T * raw;
  std::weak_ptr<T> weak;
};

struct Topic
{
  explicit Topic(std::type_index type_arg)
  : type(type_arg) {}

  std::mutex mutex;
  std::type_index type;
  std::vector<Endpoint<PublisherBase>> publishers;
  std::vector<Endpoint<SubscriptionBase>> subscriptions;
};

struct Bus
{
  std::mutex mutex;
  std::map<std::string, std::shared_ptr<Topic>> topics;
};

// Never destroyed: threads the program leaves running may still publish
// while static objects are torn down at exit.
Bus & bus()
{
  static Bus * instance = new Bus;
  return *instance;
}

std::shared_ptr<Topic> find_topic(const std::string & name)
{
  auto & b = bus();
  std::lock_guard<std::mutex> lock(b.mutex);
  auto found = b.topics.find(name);
  return found == b.topics.end() ? nullptr : found->second;
}

// The topic for a new endpoint, created on first use; the caller holds the
// bus lock.  A topic has one message type for as long as any endpoint uses it.
std::shared_ptr<Topic> topic_for_locked(
  Bus & b, const std::string & name, const std::type_index & type, const char * endpoint_kind)
{
  auto & topic = b.topics[name];
  if (!topic) {
    topic = std::make_shared<Topic>(type);
  } else if (topic->type != type) {
    throw std::runtime_error(
            "cannot create a " + std::string(endpoint_kind) + " of type '" + demangle(type) +
            "' on topic '" + name + "': the topic already carries type '" +
            demangle(topic->type) + "'");
  }
  return topic;
}

// Forgets a topic once no endpoint uses it, so its name may take a new type.
void drop_if_unused(const std::string & name, const std::shared_ptr<Topic> & topic)
{
  auto & b = bus();
  std::lock_guard<std::mutex> bus_lock(b.mutex);
  std::lock_guard<std::mutex> topic_lock(topic->mutex);
  auto found = b.topics.find(name);
  if (found != b.topics.end() && found->second == topic &&
    topic->publishers.empty() && topic->subscriptions.empty())
  {
    b.topics.erase(found);
  }
}

template<typename T>
void erase_endpoint(std::vector<Endpoint<T>> & endpoints, const T * raw)
{
  endpoints.erase(
    std::remove_if(
      endpoints.begin(), endpoints.end(),
      [raw](const Endpoint<T> & endpoint) {return endpoint.raw == raw;}),
    endpoints.end());
}

bool matches(const PublisherBase & publisher, const SubscriptionBase & subscription)
{
  return qos_check_compatible(publisher.get_actual_qos(), subscription.get_actual_qos())
         .compatibility != QoSCompatibility::Error;
}

// `joined` is the endpoint that just appeared: "publisher" (offering) or
// "subscription" (requesting).
void warn_incompatible(const char * joined, const std::string & topic, const std::string & reason)
{
  const bool publisher = std::string(joined) == "publisher";
  RCLCPP_WARN(
    rclcpp::get_logger("rclcpp"),
    "New %s discovered on topic '%s', %s incompatible QoS. "
    "No messages will be sent to it. %s", joined, topic.c_str(),
    publisher ? "offering" : "requesting", reason.c_str());
}

void keep_history(PublisherBase & publisher, const std::shared_ptr<const void> & message)
{
  const QoS qos = publisher.get_actual_qos();
  if (qos.durability() != DurabilityPolicy::TransientLocal) {
    return;
  }
  auto & history = publisher.transient_local_history();
  history.push_back(message);
  if (qos.history() != HistoryPolicy::KeepAll) {
    const size_t depth = qos.depth() > 0 ? qos.depth() : 1;
    while (history.size() > depth) {
      history.pop_front();
    }
  }
}

}  // namespace

std::string demangle(const std::type_index & type)
{
  int status = 0;
  char * readable = abi::__cxa_demangle(type.name(), nullptr, nullptr, &status);
  std::string result = (status == 0 && readable != nullptr) ? readable : type.name();
  std::free(readable);
  return result;
}

void bus_add_publisher(const std::shared_ptr<PublisherBase> & publisher)
{
  const std::string name = publisher->get_topic_name();
  std::vector<std::shared_ptr<SubscriptionBase>> seen;  // released unlocked
  auto & b = bus();
  // Both locks: the topic cannot be dropped between lookup and joining.
  std::lock_guard<std::mutex> bus_lock(b.mutex);
  auto topic = topic_for_locked(b, name, publisher->message_type(), "publisher");
  std::lock_guard<std::mutex> lock(topic->mutex);
  topic->publishers.push_back({publisher.get(), publisher});
  for (const auto & endpoint : topic->subscriptions) {
    if (auto subscription = endpoint.weak.lock()) {
      auto check = qos_check_compatible(
        publisher->get_actual_qos(), subscription->get_actual_qos());
      if (check.compatibility == QoSCompatibility::Error) {
        warn_incompatible("publisher", name, check.reason);
      }
      seen.push_back(std::move(subscription));
    }
  }
}

void bus_add_subscription(const std::shared_ptr<SubscriptionBase> & subscription)
{
  const std::string name = subscription->get_topic_name();
  std::vector<std::shared_ptr<PublisherBase>> seen;  // released unlocked
  auto & b = bus();
  std::lock_guard<std::mutex> bus_lock(b.mutex);
  auto topic = topic_for_locked(b, name, subscription->message_type(), "subscription");
  std::lock_guard<std::mutex> lock(topic->mutex);
  topic->subscriptions.push_back({subscription.get(), subscription});
  const bool wants_history =
    subscription->get_actual_qos().durability() == DurabilityPolicy::TransientLocal;
  for (const auto & endpoint : topic->publishers) {
    auto publisher = endpoint.weak.lock();
    if (!publisher) {
      continue;
    }
    auto check = qos_check_compatible(
      publisher->get_actual_qos(), subscription->get_actual_qos());
    if (check.compatibility == QoSCompatibility::Error) {
      warn_incompatible("subscription", name, check.reason);
    } else if (wants_history) {
      // Replayed under the topic lock, so no live message can overtake them.
      for (const auto & message : publisher->transient_local_history()) {
        subscription->deliver(message);
      }
    }
    seen.push_back(std::move(publisher));
  }
}

void bus_remove_publisher(const PublisherBase * publisher)
{
  const std::string name = publisher->get_topic_name();
  auto topic = find_topic(name);
  if (!topic) {
    return;
  }
  {
    std::lock_guard<std::mutex> lock(topic->mutex);
    erase_endpoint(topic->publishers, publisher);
  }
  drop_if_unused(name, topic);
}

void bus_remove_subscription(const SubscriptionBase * subscription)
{
  const std::string name = subscription->get_topic_name();
  auto topic = find_topic(name);
  if (!topic) {
    return;
  }
  {
    std::lock_guard<std::mutex> lock(topic->mutex);
    erase_endpoint(topic->subscriptions, subscription);
  }
  drop_if_unused(name, topic);
}

void bus_publish(PublisherBase & publisher, std::shared_ptr<const void> message)
{
  auto topic = find_topic(publisher.get_topic_name());
  if (!topic) {
    return;
  }
  // Holding the last reference of a subscription past the lock lets its
  // destructor take the lock itself.
  std::vector<std::shared_ptr<SubscriptionBase>> receivers;
  std::lock_guard<std::mutex> lock(topic->mutex);
  keep_history(publisher, message);
  receivers.reserve(topic->subscriptions.size());
  for (const auto & endpoint : topic->subscriptions) {
    if (auto subscription = endpoint.weak.lock()) {
      if (matches(publisher, *subscription)) {
        subscription->deliver(message);
      }
      receivers.push_back(std::move(subscription));
    }
  }
}

size_t bus_count_publishers(const std::string & topic_name)
{
  auto topic = find_topic(topic_name);
  if (!topic) {
    return 0;
  }
  std::lock_guard<std::mutex> lock(topic->mutex);
  return static_cast<size_t>(std::count_if(
           topic->publishers.begin(), topic->publishers.end(),
           [](const Endpoint<PublisherBase> & e) {return !e.weak.expired();}));
}

size_t bus_count_subscriptions(const std::string & topic_name)
{
  auto topic = find_topic(topic_name);
  if (!topic) {
    return 0;
  }
  std::lock_guard<std::mutex> lock(topic->mutex);
  return static_cast<size_t>(std::count_if(
           topic->subscriptions.begin(), topic->subscriptions.end(),
           [](const Endpoint<SubscriptionBase> & e) {return !e.weak.expired();}));
}

size_t bus_count_matched_subscriptions(const PublisherBase & publisher)
{
  auto topic = find_topic(publisher.get_topic_name());
  if (!topic) {
    return 0;
  }
  std::vector<std::shared_ptr<SubscriptionBase>> seen;
  std::lock_guard<std::mutex> lock(topic->mutex);
  size_t count = 0;
  for (const auto & endpoint : topic->subscriptions) {
    if (auto subscription = endpoint.weak.lock()) {
      count += matches(publisher, *subscription) ? 1 : 0;
      seen.push_back(std::move(subscription));
    }
  }
  return count;
}

size_t bus_count_matched_publishers(const SubscriptionBase & subscription)
{
  auto topic = find_topic(subscription.get_topic_name());
  if (!topic) {
    return 0;
  }
  std::vector<std::shared_ptr<PublisherBase>> seen;
  std::lock_guard<std::mutex> lock(topic->mutex);
  size_t count = 0;
  for (const auto & endpoint : topic->publishers) {
    if (auto publisher = endpoint.weak.lock()) {
      count += matches(*publisher, subscription) ? 1 : 0;
      seen.push_back(std::move(publisher));
    }
  }
  return count;
}

}  // namespace detail
}  // namespace rclcpp
