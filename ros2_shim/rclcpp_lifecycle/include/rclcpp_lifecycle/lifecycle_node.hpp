#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "rclcpp/node.hpp"
#include "rclcpp_lifecycle/lifecycle_publisher.hpp"
#include "rclcpp_lifecycle/managed_entity.hpp"
#include "rclcpp_lifecycle/node_interfaces/lifecycle_node_interface.hpp"
#include "rclcpp_lifecycle/state.hpp"
#include "rclcpp_lifecycle/transition.hpp"

namespace rclcpp_lifecycle
{

namespace detail {class StateMachine;}

// A managed node: an rclcpp node plus the lifecycle state machine.  Transitions
// are driven by the methods below; an exception leaving a transition callback
// counts as ERROR and leads through on_error, as in ROS 2.
class LifecycleNode : public node_interfaces::LifecycleNodeInterface,
  public std::enable_shared_from_this<LifecycleNode>
{
public:
  using SharedPtr = std::shared_ptr<LifecycleNode>;
  using WeakPtr = std::weak_ptr<LifecycleNode>;
  using CallbackReturn = node_interfaces::LifecycleNodeInterface::CallbackReturn;

  explicit LifecycleNode(
    const std::string & node_name,
    const rclcpp::NodeOptions & options = rclcpp::NodeOptions(),
    bool enable_communication_interface = true);
  LifecycleNode(
    const std::string & node_name,
    const std::string & namespace_,
    const rclcpp::NodeOptions & options = rclcpp::NodeOptions(),
    bool enable_communication_interface = true);
  ~LifecycleNode() override;

  const char * get_name() const {return node_->get_name();}
  const char * get_namespace() const {return node_->get_namespace();}
  const char * get_fully_qualified_name() const {return node_->get_fully_qualified_name();}
  rclcpp::Logger get_logger() const {return node_->get_logger();}

  rclcpp::CallbackGroup::SharedPtr create_callback_group(
    rclcpp::CallbackGroupType group_type, bool automatically_add_to_executor_with_node = true)
  {
    return node_->create_callback_group(group_type, automatically_add_to_executor_with_node);
  }

  // Publishers are managed: they follow the node's activation.
  template<typename MessageT, typename AllocatorT = std::allocator<void>>
  std::shared_ptr<LifecyclePublisher<MessageT, AllocatorT>> create_publisher(
    const std::string & topic_name,
    const rclcpp::QoS & qos,
    const rclcpp::PublisherOptionsWithAllocator<AllocatorT> & options =
    rclcpp::PublisherOptionsWithAllocator<AllocatorT>())
  {
    auto publisher = node_->create_publisher<MessageT, AllocatorT,
        LifecyclePublisher<MessageT, AllocatorT>>(topic_name, qos, options);
    add_managed_entity(publisher);
    return publisher;
  }

  template<
    typename MessageT,
    typename CallbackT,
    typename AllocatorT = std::allocator<void>,
    typename SubscriptionT = rclcpp::Subscription<MessageT, AllocatorT>>
  std::shared_ptr<SubscriptionT> create_subscription(
    const std::string & topic_name,
    const rclcpp::QoS & qos,
    CallbackT && callback,
    const rclcpp::SubscriptionOptionsWithAllocator<AllocatorT> & options =
    rclcpp::SubscriptionOptionsWithAllocator<AllocatorT>())
  {
    return node_->create_subscription<MessageT, CallbackT, AllocatorT, SubscriptionT>(
      topic_name, qos, std::forward<CallbackT>(callback), options);
  }

  template<typename DurationRepT = int64_t, typename DurationT = std::milli, typename CallbackT>
  typename rclcpp::WallTimer<CallbackT>::SharedPtr create_wall_timer(
    std::chrono::duration<DurationRepT, DurationT> period,
    CallbackT callback,
    rclcpp::CallbackGroup::SharedPtr group = nullptr)
  {
    return node_->create_wall_timer(period, std::move(callback), group);
  }

  // Parameters: as rclcpp::Node.
  const rclcpp::ParameterValue & declare_parameter(
    const std::string & name, const rclcpp::ParameterValue & default_value,
    bool ignore_override = false)
  {
    return node_->declare_parameter(name, default_value, ignore_override);
  }
  template<typename ParameterT>
  auto declare_parameter(
    const std::string & name, const ParameterT & default_value, bool ignore_override = false)
  {
    return node_->declare_parameter<ParameterT>(name, default_value, ignore_override);
  }
  void undeclare_parameter(const std::string & name) {node_->undeclare_parameter(name);}
  bool has_parameter(const std::string & name) const {return node_->has_parameter(name);}
  rcl_interfaces::msg::SetParametersResult set_parameter(const rclcpp::Parameter & parameter)
  {
    return node_->set_parameter(parameter);
  }
  std::vector<rcl_interfaces::msg::SetParametersResult> set_parameters(
    const std::vector<rclcpp::Parameter> & parameters)
  {
    return node_->set_parameters(parameters);
  }
  rcl_interfaces::msg::SetParametersResult set_parameters_atomically(
    const std::vector<rclcpp::Parameter> & parameters)
  {
    return node_->set_parameters_atomically(parameters);
  }
  rclcpp::Parameter get_parameter(const std::string & name) const
  {
    return node_->get_parameter(name);
  }
  bool get_parameter(const std::string & name, rclcpp::Parameter & parameter) const
  {
    return node_->get_parameter(name, parameter);
  }
  template<typename ParameterT>
  bool get_parameter(const std::string & name, ParameterT & parameter) const
  {
    return node_->get_parameter<ParameterT>(name, parameter);
  }
  template<typename ParameterT>
  bool get_parameter_or(
    const std::string & name, ParameterT & value, const ParameterT & alternative_value) const
  {
    return node_->get_parameter_or<ParameterT>(name, value, alternative_value);
  }
  std::vector<rclcpp::Parameter> get_parameters(const std::vector<std::string> & names) const
  {
    return node_->get_parameters(names);
  }
  template<typename ParameterT>
  bool get_parameters(const std::string & prefix, std::map<std::string, ParameterT> & values) const
  {
    return node_->get_parameters<ParameterT>(prefix, values);
  }

  using OnSetParametersCallbackHandle = rclcpp::node_interfaces::OnSetParametersCallbackHandle;
  using OnParametersSetCallbackType = rclcpp::Node::OnParametersSetCallbackType;
  OnSetParametersCallbackHandle::SharedPtr add_on_set_parameters_callback(
    OnParametersSetCallbackType callback)
  {
    return node_->add_on_set_parameters_callback(std::move(callback));
  }
  void remove_on_set_parameters_callback(const OnSetParametersCallbackHandle * const handler)
  {
    node_->remove_on_set_parameters_callback(handler);
  }

  size_t count_publishers(const std::string & topic_name) const
  {
    return node_->count_publishers(topic_name);
  }
  size_t count_subscribers(const std::string & topic_name) const
  {
    return node_->count_subscribers(topic_name);
  }

  rclcpp::Clock::SharedPtr get_clock() {return node_->get_clock();}
  rclcpp::Clock::ConstSharedPtr get_clock() const
  {
    return std::const_pointer_cast<const rclcpp::Node>(node_)->get_clock();
  }
  rclcpp::Time now() const {return node_->now();}

  rclcpp::node_interfaces::NodeBaseInterface::SharedPtr get_node_base_interface()
  {
    return node_->get_node_base_interface();
  }
  rclcpp::node_interfaces::NodeParametersInterface::SharedPtr get_node_parameters_interface()
  {
    return node_->get_node_parameters_interface();
  }
  const rclcpp::NodeOptions & get_node_options() const {return node_->get_node_options();}

  // Lifecycle.
  const State & get_current_state();
  std::vector<State> get_available_states();
  std::vector<Transition> get_available_transitions();

  const State & trigger_transition(const Transition & transition);
  const State & trigger_transition(const Transition & transition, CallbackReturn & cb_return_code);
  const State & trigger_transition(uint8_t transition_id);
  const State & trigger_transition(uint8_t transition_id, CallbackReturn & cb_return_code);

  const State & configure();
  const State & configure(CallbackReturn & cb_return_code);
  const State & cleanup();
  const State & cleanup(CallbackReturn & cb_return_code);
  const State & activate();
  const State & activate(CallbackReturn & cb_return_code);
  const State & deactivate();
  const State & deactivate(CallbackReturn & cb_return_code);
  const State & shutdown();
  const State & shutdown(CallbackReturn & cb_return_code);

  using TransitionCallback = std::function<CallbackReturn(const State &)>;
  bool register_on_configure(TransitionCallback fcn);
  bool register_on_cleanup(TransitionCallback fcn);
  bool register_on_shutdown(TransitionCallback fcn);
  bool register_on_activate(TransitionCallback fcn);
  bool register_on_deactivate(TransitionCallback fcn);
  bool register_on_error(TransitionCallback fcn);

  // The node's own activation of its managed entities (publishers).
  CallbackReturn on_activate(const State & previous_state) override;
  CallbackReturn on_deactivate(const State & previous_state) override;

  void add_managed_entity(std::weak_ptr<ManagedEntityInterface> managed_entity);

private:
  CallbackReturn dispatch(uint8_t transition_state, const State & previous);
  const State & run(uint8_t transition_id, CallbackReturn & cb_return_code);

  std::shared_ptr<rclcpp::Node> node_;
  std::unique_ptr<detail::StateMachine> state_machine_;
  std::map<uint8_t, TransitionCallback> registered_callbacks_;
  std::mutex entities_mutex_;
  std::vector<std::weak_ptr<ManagedEntityInterface>> managed_entities_;
  State current_state_;  // what get_current_state hands out by reference
};

}  // namespace rclcpp_lifecycle
