#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>

#include "rclcpp/callback_group.hpp"
#include "rclcpp/context.hpp"
#include "rclcpp/guard_condition.hpp"
#include "rclcpp/macros.hpp"

namespace rclcpp
{
namespace node_interfaces
{

/// The part of a node an executor works with: its identity, context and
/// callback groups.
class NodeBaseInterface
{
public:
  RCLCPP_SMART_PTR_ALIASES_ONLY(NodeBaseInterface)

  using CallbackGroupFunction = std::function<void (rclcpp::CallbackGroup::SharedPtr)>;

  virtual ~NodeBaseInterface() = default;

  virtual const char * get_name() const = 0;
  virtual const char * get_namespace() const = 0;
  virtual const char * get_fully_qualified_name() const = 0;
  virtual rclcpp::Context::SharedPtr get_context() = 0;

  virtual rclcpp::CallbackGroup::SharedPtr create_callback_group(
    rclcpp::CallbackGroupType group_type,
    bool automatically_add_to_executor_with_node = true) = 0;
  virtual rclcpp::CallbackGroup::SharedPtr get_default_callback_group() = 0;
  virtual bool callback_group_in_node(rclcpp::CallbackGroup::SharedPtr group) = 0;
  virtual void for_each_callback_group(const CallbackGroupFunction & func) = 0;

  /// True while an executor holds the node.
  virtual std::atomic_bool & get_associated_with_executor_atomic() = 0;
  /// Triggered when the node gains entities, so its executor looks again.
  virtual rclcpp::GuardCondition & get_notify_guard_condition() = 0;

  virtual bool get_use_intra_process_default() const = 0;
  virtual bool get_enable_topic_statistics_default() const = 0;

  /// Expands a relative or "~" name against the node, validates it and
  /// applies the remapping rules (unless only_expand).  Raises
  /// rclcpp::exceptions::InvalidTopicNameError / InvalidServiceNameError.
  virtual std::string resolve_topic_or_service_name(
    const std::string & name, bool is_service, bool only_expand = false) const = 0;
};

}  // namespace node_interfaces
}  // namespace rclcpp
