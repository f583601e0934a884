#pragma once

#include <functional>
#include <mutex>
#include <vector>

#include "rclcpp_lifecycle/node_interfaces/lifecycle_node_interface.hpp"
#include "rclcpp_lifecycle/state.hpp"
#include "rclcpp_lifecycle/transition.hpp"

namespace rclcpp_lifecycle
{
namespace detail
{

// The managed-node state machine: primary states, the transition states
// between them, and where each callback result leads.
class StateMachine
{
public:
  using CallbackReturn = node_interfaces::LifecycleNodeInterface::CallbackReturn;
  // Runs the callback of a transition state, given the state the node came from.
  using Dispatch = std::function<CallbackReturn(uint8_t transition_state, const State & previous)>;

  StateMachine();

  State current() const;
  std::vector<State> available_states() const;
  std::vector<Transition> available_transitions() const;

  // Runs one transition to its end (including error processing).  Returns false
  // without changing anything when the transition is not valid from the current
  // state.  `result` receives the callback's result.
  bool trigger(uint8_t transition_id, const Dispatch & dispatch, CallbackReturn & result);

  // The shutdown transition id that applies to the current state, or 0.
  uint8_t shutdown_transition() const;

private:
  mutable std::recursive_mutex mutex_;
  State current_;
};

State make_state(uint8_t id);

}  // namespace detail
}  // namespace rclcpp_lifecycle
