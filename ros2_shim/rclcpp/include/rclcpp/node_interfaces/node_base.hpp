#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "rclcpp/node_interfaces/node_base_interface.hpp"
#include "rclcpp/node_options.hpp"

namespace rclcpp
{
namespace detail
{
struct ParsedArguments;
}  // namespace detail

namespace node_interfaces
{

/// A node's identity, context and callback groups.
class NodeBase : public NodeBaseInterface
{
public:
  RCLCPP_SMART_PTR_ALIASES_ONLY(NodeBase)

  /// Applies "__node:=" / "__ns:=" rules, then validates the names.  Raises
  /// InvalidNodeNameError / InvalidNamespaceError, and std::runtime_error
  /// when the options' context is not initialised.
  NodeBase(
    const std::string & node_name, const std::string & namespace_,
    const rclcpp::NodeOptions & options);
  ~NodeBase() override;

  NodeBase(const NodeBase &) = delete;
  NodeBase & operator=(const NodeBase &) = delete;

  const char * get_name() const override;
  const char * get_namespace() const override;
  const char * get_fully_qualified_name() const override;
  rclcpp::Context::SharedPtr get_context() override;

  rclcpp::CallbackGroup::SharedPtr create_callback_group(
    rclcpp::CallbackGroupType group_type,
    bool automatically_add_to_executor_with_node = true) override;
  rclcpp::CallbackGroup::SharedPtr get_default_callback_group() override;
  bool callback_group_in_node(rclcpp::CallbackGroup::SharedPtr group) override;
  void for_each_callback_group(const CallbackGroupFunction & func) override;

  std::atomic_bool & get_associated_with_executor_atomic() override;
  rclcpp::GuardCondition & get_notify_guard_condition() override;

  bool get_use_intra_process_default() const override;
  bool get_enable_topic_statistics_default() const override;

  std::string resolve_topic_or_service_name(
    const std::string & name, bool is_service, bool only_expand = false) const override;

  /// The global arguments this node honours (null when it ignores them).
  const rclcpp::detail::ParsedArguments * get_global_arguments() const;

private:
  rclcpp::Context::SharedPtr context_;
  std::shared_ptr<const rclcpp::detail::ParsedArguments> global_arguments_;
  std::shared_ptr<const rclcpp::detail::ParsedArguments> local_arguments_;
  std::string name_;
  std::string namespace_;
  std::string fully_qualified_name_;
  bool use_intra_process_default_;
  bool enable_topic_statistics_default_;

  std::shared_ptr<rclcpp::GuardCondition> notify_guard_condition_;
  std::shared_ptr<detail::WakeLink> node_link_;
  std::atomic_bool associated_with_executor_{false};

  mutable std::mutex groups_mutex_;
  rclcpp::CallbackGroup::SharedPtr default_callback_group_;
  std::vector<rclcpp::CallbackGroup::WeakPtr> callback_groups_;
};

}  // namespace node_interfaces
}  // namespace rclcpp
