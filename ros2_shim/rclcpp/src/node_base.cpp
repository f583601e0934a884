#include "rclcpp/node_interfaces/node_base.hpp"

#include <algorithm>
#include <stdexcept>

#include "rclcpp/detail/arguments.hpp"
#include "rclcpp/detail/names.hpp"

namespace rclcpp
{
namespace node_interfaces
{

NodeBase::NodeBase(
  const std::string & node_name, const std::string & node_namespace,
  const rclcpp::NodeOptions & options)
: context_(options.context()),
  use_intra_process_default_(options.use_intra_process_comms()),
  enable_topic_statistics_default_(options.enable_topic_statistics())
{
  if (!context_ || !context_->is_valid()) {
    throw std::runtime_error(
            "cannot create node '" + node_name + "': the context is not valid "
            "(rclcpp::init was not called or rclcpp::shutdown was called)");
  }
  if (options.use_global_arguments()) {
    global_arguments_ = context_->get_global_arguments();
  }
  if (!options.arguments().empty()) {
    local_arguments_ = std::make_shared<const detail::ParsedArguments>(
      detail::parse_arguments(options.arguments()));
  }
  // Node-local rules win over global ones.
  name_ = node_name;
  std::string requested_namespace = node_namespace;
  for (const auto * arguments : {local_arguments_.get(), global_arguments_.get()}) {
    if (arguments == nullptr) {
      continue;
    }
    if (auto renamed = arguments->node_name_override(node_name); renamed && name_ == node_name) {
      name_ = *renamed;
    }
    if (auto moved = arguments->namespace_override(node_name);
      moved && requested_namespace == node_namespace)
    {
      requested_namespace = *moved;
    }
  }
  detail::validate_node_name(name_);
  namespace_ = detail::normalize_namespace(requested_namespace);
  fully_qualified_name_ = detail::fully_qualified_node_name(name_, namespace_);

  notify_guard_condition_ = std::make_shared<rclcpp::GuardCondition>(context_);
  node_link_ = std::shared_ptr<detail::WakeLink>(
    notify_guard_condition_, &notify_guard_condition_->wake_link());
  default_callback_group_ = create_callback_group(CallbackGroupType::MutuallyExclusive, true);
}

NodeBase::~NodeBase() = default;

const char * NodeBase::get_name() const {return name_.c_str();}
const char * NodeBase::get_namespace() const {return namespace_.c_str();}
const char * NodeBase::get_fully_qualified_name() const {return fully_qualified_name_.c_str();}
rclcpp::Context::SharedPtr NodeBase::get_context() {return context_;}

rclcpp::CallbackGroup::SharedPtr NodeBase::create_callback_group(
  rclcpp::CallbackGroupType group_type, bool automatically_add_to_executor_with_node)
{
  auto group = std::make_shared<CallbackGroup>(
    group_type, automatically_add_to_executor_with_node);
  group->set_node_link(node_link_);
  {
    std::lock_guard<std::mutex> lock(groups_mutex_);
    callback_groups_.erase(
      std::remove_if(
        callback_groups_.begin(), callback_groups_.end(),
        [](const CallbackGroup::WeakPtr & weak) {return weak.expired();}),
      callback_groups_.end());
    callback_groups_.push_back(group);
  }
  notify_guard_condition_->trigger();
  return group;
}

rclcpp::CallbackGroup::SharedPtr NodeBase::get_default_callback_group()
{
  return default_callback_group_;
}

bool NodeBase::callback_group_in_node(rclcpp::CallbackGroup::SharedPtr group)
{
  std::lock_guard<std::mutex> lock(groups_mutex_);
  return std::any_of(
    callback_groups_.begin(), callback_groups_.end(),
    [&group](const CallbackGroup::WeakPtr & weak) {return weak.lock() == group;});
}

void NodeBase::for_each_callback_group(const CallbackGroupFunction & func)
{
  std::vector<CallbackGroup::SharedPtr> groups;
  {
    std::lock_guard<std::mutex> lock(groups_mutex_);
    for (const auto & weak : callback_groups_) {
      if (auto group = weak.lock()) {
        groups.push_back(std::move(group));
      }
    }
  }
  for (const auto & group : groups) {
    func(group);
  }
}

std::atomic_bool & NodeBase::get_associated_with_executor_atomic()
{
  return associated_with_executor_;
}

rclcpp::GuardCondition & NodeBase::get_notify_guard_condition()
{
  return *notify_guard_condition_;
}

bool NodeBase::get_use_intra_process_default() const {return use_intra_process_default_;}

bool NodeBase::get_enable_topic_statistics_default() const
{
  return enable_topic_statistics_default_;
}

std::string NodeBase::resolve_topic_or_service_name(
  const std::string & name, bool is_service, bool only_expand) const
{
  const std::string expanded = detail::expand_topic_name(name, name_, namespace_, is_service);
  if (only_expand || is_service) {
    return expanded;
  }
  for (const auto * arguments : {local_arguments_.get(), global_arguments_.get()}) {
    if (arguments == nullptr) {
      continue;
    }
    const std::string remapped = arguments->remap_topic(expanded, name_, namespace_);
    if (remapped != expanded) {
      return detail::expand_topic_name(remapped, name_, namespace_, is_service);
    }
  }
  return expanded;
}

const rclcpp::detail::ParsedArguments * NodeBase::get_global_arguments() const
{
  return global_arguments_.get();
}

}  // namespace node_interfaces
}  // namespace rclcpp
