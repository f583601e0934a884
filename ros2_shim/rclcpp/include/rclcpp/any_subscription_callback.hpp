#pragma once

#include <functional>
#include <memory>
#include <type_traits>
#include <utility>

#include "rclcpp/message_info.hpp"

namespace rclcpp
{

/// Any of the callback forms a subscription accepts, reduced to one call
/// taking the shared, immutable message.  Forms that receive a mutable
/// message (unique or non-const shared pointer) get their own copy, so
/// other subscribers never see the change.
template<typename MessageT, typename AllocatorT = std::allocator<void>>
class AnySubscriptionCallback
{
public:
  using ConstShared = std::shared_ptr<const MessageT>;
  using Dispatch = std::function<void (const ConstShared &, const rclcpp::MessageInfo &)>;

  AnySubscriptionCallback() = default;

  template<typename CallbackT>
  AnySubscriptionCallback & set(CallbackT callback)
  {
    dispatch_ = make_dispatch(std::move(callback));
    return *this;
  }

  void dispatch(const ConstShared & message, const rclcpp::MessageInfo & info) const
  {
    dispatch_(message, info);
  }

private:
  template<typename CallbackT>
  static Dispatch make_dispatch(CallbackT callback)
  {
    using Info = const rclcpp::MessageInfo &;
    if constexpr (std::is_invocable_v<CallbackT &, ConstShared, Info>) {
      return [callback](const ConstShared & m, Info i) mutable {callback(m, i);};
    } else if constexpr (std::is_invocable_v<CallbackT &, ConstShared>) {
      return [callback](const ConstShared & m, Info) mutable {callback(m);};
    } else if constexpr (std::is_invocable_v<CallbackT &, std::shared_ptr<MessageT>, Info>) {
      return [callback](const ConstShared & m, Info i) mutable {
               callback(std::make_shared<MessageT>(*m), i);
             };
    } else if constexpr (std::is_invocable_v<CallbackT &, std::shared_ptr<MessageT>>) {
      return [callback](const ConstShared & m, Info) mutable {
               callback(std::make_shared<MessageT>(*m));
             };
    } else if constexpr (std::is_invocable_v<CallbackT &, std::unique_ptr<MessageT>, Info>) {
      return [callback](const ConstShared & m, Info i) mutable {
               callback(std::make_unique<MessageT>(*m), i);
             };
    } else if constexpr (std::is_invocable_v<CallbackT &, std::unique_ptr<MessageT>>) {
      return [callback](const ConstShared & m, Info) mutable {
               callback(std::make_unique<MessageT>(*m));
             };
    } else if constexpr (std::is_invocable_v<CallbackT &, const MessageT &, Info>) {
      return [callback](const ConstShared & m, Info i) mutable {callback(*m, i);};
    } else {
      static_assert(
        std::is_invocable_v<CallbackT &, const MessageT &>,
        "unsupported subscription callback signature");
      return [callback](const ConstShared & m, Info) mutable {callback(*m);};
    }
  }

  Dispatch dispatch_;
};

}  // namespace rclcpp
