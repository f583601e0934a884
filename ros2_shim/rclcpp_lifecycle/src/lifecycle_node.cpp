#include "rclcpp_lifecycle/lifecycle_node.hpp"

#include <exception>

#include "lifecycle_msgs/msg/state.hpp"
#include "lifecycle_msgs/msg/transition.hpp"
#include "rclcpp/logging.hpp"
#include "state_machine.hpp"

namespace rclcpp_lifecycle
{

using S = lifecycle_msgs::msg::State;
using T = lifecycle_msgs::msg::Transition;

LifecycleNode::LifecycleNode(
  const std::string & node_name, const rclcpp::NodeOptions & options,
  bool enable_communication_interface)
: LifecycleNode(node_name, "", options, enable_communication_interface)
{
}

// The stand-in has no services, so the communication interface (change_state,
// get_state, ...) is accepted but not offered; transitions are method calls.
LifecycleNode::LifecycleNode(
  const std::string & node_name, const std::string & namespace_,
  const rclcpp::NodeOptions & options, bool /*enable_communication_interface*/)
: node_(std::make_shared<rclcpp::Node>(node_name, namespace_, options)),
  state_machine_(std::make_unique<detail::StateMachine>()),
  current_state_(state_machine_->current())
{
}

LifecycleNode::~LifecycleNode() = default;

const State & LifecycleNode::get_current_state()
{
  current_state_ = state_machine_->current();
  return current_state_;
}

std::vector<State> LifecycleNode::get_available_states()
{
  return state_machine_->available_states();
}

std::vector<Transition> LifecycleNode::get_available_transitions()
{
  return state_machine_->available_transitions();
}

LifecycleNode::CallbackReturn LifecycleNode::dispatch(uint8_t transition_state, const State & previous)
{
  auto registered = registered_callbacks_.find(transition_state);
  try {
    if (registered != registered_callbacks_.end()) {
      return registered->second(previous);
    }
    switch (transition_state) {
      case S::TRANSITION_STATE_CONFIGURING: return on_configure(previous);
      case S::TRANSITION_STATE_CLEANINGUP: return on_cleanup(previous);
      case S::TRANSITION_STATE_SHUTTINGDOWN: return on_shutdown(previous);
      case S::TRANSITION_STATE_ACTIVATING: return on_activate(previous);
      case S::TRANSITION_STATE_DEACTIVATING: return on_deactivate(previous);
      case S::TRANSITION_STATE_ERRORPROCESSING: return on_error(previous);
      default: return CallbackReturn::ERROR;
    }
  } catch (const std::exception & e) {
    RCLCPP_ERROR(get_logger(), "Caught exception in callback for transition %u",
      static_cast<unsigned>(transition_state));
    RCLCPP_ERROR(get_logger(), "Original error: %s", e.what());
    return CallbackReturn::ERROR;
  }
}

const State & LifecycleNode::run(uint8_t transition_id, CallbackReturn & cb_return_code)
{
  const bool started = state_machine_->trigger(transition_id,
      [this](uint8_t transition_state, const State & previous) {
        return dispatch(transition_state, previous);
      }, cb_return_code);
  if (!started) {
    RCLCPP_ERROR(get_logger(), "Unable to start transition %u from current state %s",
      static_cast<unsigned>(transition_id), state_machine_->current().label().c_str());
    cb_return_code = CallbackReturn::ERROR;
  }
  return get_current_state();
}

const State & LifecycleNode::trigger_transition(const Transition & transition)
{
  return trigger_transition(transition.id());
}

const State & LifecycleNode::trigger_transition(
  const Transition & transition, CallbackReturn & cb_return_code)
{
  return trigger_transition(transition.id(), cb_return_code);
}

const State & LifecycleNode::trigger_transition(uint8_t transition_id)
{
  CallbackReturn ignored;
  return trigger_transition(transition_id, ignored);
}

const State & LifecycleNode::trigger_transition(uint8_t transition_id, CallbackReturn & code)
{
  return run(transition_id, code);
}

const State & LifecycleNode::configure() {return trigger_transition(T::TRANSITION_CONFIGURE);}
const State & LifecycleNode::configure(CallbackReturn & code)
{
  return trigger_transition(T::TRANSITION_CONFIGURE, code);
}
const State & LifecycleNode::cleanup() {return trigger_transition(T::TRANSITION_CLEANUP);}
const State & LifecycleNode::cleanup(CallbackReturn & code)
{
  return trigger_transition(T::TRANSITION_CLEANUP, code);
}
const State & LifecycleNode::activate() {return trigger_transition(T::TRANSITION_ACTIVATE);}
const State & LifecycleNode::activate(CallbackReturn & code)
{
  return trigger_transition(T::TRANSITION_ACTIVATE, code);
}
const State & LifecycleNode::deactivate() {return trigger_transition(T::TRANSITION_DEACTIVATE);}
const State & LifecycleNode::deactivate(CallbackReturn & code)
{
  return trigger_transition(T::TRANSITION_DEACTIVATE, code);
}
const State & LifecycleNode::shutdown()
{
  CallbackReturn ignored;
  return shutdown(ignored);
}
const State & LifecycleNode::shutdown(CallbackReturn & code)
{
  return trigger_transition(state_machine_->shutdown_transition(), code);
}

bool LifecycleNode::register_on_configure(TransitionCallback fcn)
{
  registered_callbacks_[S::TRANSITION_STATE_CONFIGURING] = std::move(fcn);
  return true;
}
bool LifecycleNode::register_on_cleanup(TransitionCallback fcn)
{
  registered_callbacks_[S::TRANSITION_STATE_CLEANINGUP] = std::move(fcn);
  return true;
}
bool LifecycleNode::register_on_shutdown(TransitionCallback fcn)
{
  registered_callbacks_[S::TRANSITION_STATE_SHUTTINGDOWN] = std::move(fcn);
  return true;
}
bool LifecycleNode::register_on_activate(TransitionCallback fcn)
{
  registered_callbacks_[S::TRANSITION_STATE_ACTIVATING] = std::move(fcn);
  return true;
}
bool LifecycleNode::register_on_deactivate(TransitionCallback fcn)
{
  registered_callbacks_[S::TRANSITION_STATE_DEACTIVATING] = std::move(fcn);
  return true;
}
bool LifecycleNode::register_on_error(TransitionCallback fcn)
{
  registered_callbacks_[S::TRANSITION_STATE_ERRORPROCESSING] = std::move(fcn);
  return true;
}

void LifecycleNode::add_managed_entity(std::weak_ptr<ManagedEntityInterface> managed_entity)
{
  std::lock_guard<std::mutex> lock(entities_mutex_);
  managed_entities_.push_back(std::move(managed_entity));
}

LifecycleNode::CallbackReturn LifecycleNode::on_activate(const State &)
{
  std::lock_guard<std::mutex> lock(entities_mutex_);
  for (auto & weak : managed_entities_) {
    if (auto entity = weak.lock()) {entity->on_activate();}
  }
  return CallbackReturn::SUCCESS;
}

LifecycleNode::CallbackReturn LifecycleNode::on_deactivate(const State &)
{
  std::lock_guard<std::mutex> lock(entities_mutex_);
  for (auto & weak : managed_entities_) {
    if (auto entity = weak.lock()) {entity->on_deactivate();}
  }
  return CallbackReturn::SUCCESS;
}

}  // namespace rclcpp_lifecycle
