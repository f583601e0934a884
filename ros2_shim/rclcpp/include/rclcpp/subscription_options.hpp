#pragma once

#include <chrono>
#include <memory>
#include <string>

#include "rclcpp/callback_group.hpp"

namespace rclcpp
{

/// Whether topic statistics are collected for an entity.
enum class TopicStatisticsState {Enable, Disable, NodeDefault};

enum class IntraProcessSetting {Enable, Disable, NodeDefault};

struct SubscriptionOptionsBase
{
  /// Topic statistics are not collected by the stand-in; the options exist
  /// so that code setting them compiles.
  struct TopicStatisticsOptions
  {
    TopicStatisticsState state = TopicStatisticsState::NodeDefault;
    std::string publish_topic = "/statistics";
    std::chrono::milliseconds publish_period{std::chrono::seconds(1)};
  };

  /// The group the callback runs in; the node's default group when empty.
  rclcpp::CallbackGroup::SharedPtr callback_group = nullptr;
  bool ignore_local_publications = false;
  IntraProcessSetting use_intra_process_comm = IntraProcessSetting::NodeDefault;
  TopicStatisticsOptions topic_stats_options;
};

template<typename Allocator>
struct SubscriptionOptionsWithAllocator : public SubscriptionOptionsBase
{
  std::shared_ptr<Allocator> allocator = nullptr;

  SubscriptionOptionsWithAllocator() {}

  explicit SubscriptionOptionsWithAllocator(
    const SubscriptionOptionsBase & subscription_options_base)
  : SubscriptionOptionsBase(subscription_options_base) {}
};

using SubscriptionOptions = SubscriptionOptionsWithAllocator<std::allocator<void>>;

}  // namespace rclcpp
