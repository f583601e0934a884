#pragma once

#include <memory>

#include "rclcpp/callback_group.hpp"
#include "rclcpp/subscription_options.hpp"

namespace rclcpp
{

struct PublisherOptionsBase
{
  IntraProcessSetting use_intra_process_comm = IntraProcessSetting::NodeDefault;
  /// Only kept for source compatibility: publishers run no callbacks here.
  rclcpp::CallbackGroup::SharedPtr callback_group = nullptr;
};

template<typename Allocator>
struct PublisherOptionsWithAllocator : public PublisherOptionsBase
{
  std::shared_ptr<Allocator> allocator = nullptr;

  PublisherOptionsWithAllocator() {}

  explicit PublisherOptionsWithAllocator(const PublisherOptionsBase & publisher_options_base)
  : PublisherOptionsBase(publisher_options_base) {}
};

using PublisherOptions = PublisherOptionsWithAllocator<std::allocator<void>>;

}  // namespace rclcpp
