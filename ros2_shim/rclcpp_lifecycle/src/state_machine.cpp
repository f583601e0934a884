#include "state_machine.hpp"

#include "lifecycle_msgs/msg/state.hpp"
#include "lifecycle_msgs/msg/transition.hpp"

namespace rclcpp_lifecycle
{
namespace detail
{

using S = lifecycle_msgs::msg::State;
using T = lifecycle_msgs::msg::Transition;
using CallbackReturn = StateMachine::CallbackReturn;

namespace
{

struct Edge
{
  uint8_t transition;
  const char * label;
  uint8_t from;
  uint8_t via;  // the transition state whose callback runs
  uint8_t on_success;
  uint8_t on_failure;
};

// Where each requested transition goes; an error always leads to error processing.
const Edge kEdges[] = {
  {T::TRANSITION_CONFIGURE, "configure", S::PRIMARY_STATE_UNCONFIGURED,
    S::TRANSITION_STATE_CONFIGURING, S::PRIMARY_STATE_INACTIVE, S::PRIMARY_STATE_UNCONFIGURED},
  {T::TRANSITION_CLEANUP, "cleanup", S::PRIMARY_STATE_INACTIVE,
    S::TRANSITION_STATE_CLEANINGUP, S::PRIMARY_STATE_UNCONFIGURED, S::PRIMARY_STATE_INACTIVE},
  {T::TRANSITION_ACTIVATE, "activate", S::PRIMARY_STATE_INACTIVE,
    S::TRANSITION_STATE_ACTIVATING, S::PRIMARY_STATE_ACTIVE, S::PRIMARY_STATE_INACTIVE},
  {T::TRANSITION_DEACTIVATE, "deactivate", S::PRIMARY_STATE_ACTIVE,
    S::TRANSITION_STATE_DEACTIVATING, S::PRIMARY_STATE_INACTIVE, S::PRIMARY_STATE_ACTIVE},
  {T::TRANSITION_UNCONFIGURED_SHUTDOWN, "shutdown", S::PRIMARY_STATE_UNCONFIGURED,
    S::TRANSITION_STATE_SHUTTINGDOWN, S::PRIMARY_STATE_FINALIZED, S::PRIMARY_STATE_FINALIZED},
  {T::TRANSITION_INACTIVE_SHUTDOWN, "shutdown", S::PRIMARY_STATE_INACTIVE,
    S::TRANSITION_STATE_SHUTTINGDOWN, S::PRIMARY_STATE_FINALIZED, S::PRIMARY_STATE_FINALIZED},
  {T::TRANSITION_ACTIVE_SHUTDOWN, "shutdown", S::PRIMARY_STATE_ACTIVE,
    S::TRANSITION_STATE_SHUTTINGDOWN, S::PRIMARY_STATE_FINALIZED, S::PRIMARY_STATE_FINALIZED},
};

const char * label_of(uint8_t id)
{
  switch (id) {
    case S::PRIMARY_STATE_UNCONFIGURED: return "unconfigured";
    case S::PRIMARY_STATE_INACTIVE: return "inactive";
    case S::PRIMARY_STATE_ACTIVE: return "active";
    case S::PRIMARY_STATE_FINALIZED: return "finalized";
    case S::TRANSITION_STATE_CONFIGURING: return "configuring";
    case S::TRANSITION_STATE_CLEANINGUP: return "cleaningup";
    case S::TRANSITION_STATE_SHUTTINGDOWN: return "shuttingdown";
    case S::TRANSITION_STATE_ACTIVATING: return "activating";
    case S::TRANSITION_STATE_DEACTIVATING: return "deactivating";
    case S::TRANSITION_STATE_ERRORPROCESSING: return "errorprocessing";
    default: return "unknown";
  }
}

}  // namespace

State make_state(uint8_t id)
{
  return State(id, label_of(id));
}

StateMachine::StateMachine()
: current_(make_state(S::PRIMARY_STATE_UNCONFIGURED))
{
}

State StateMachine::current() const
{
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  return current_;
}

std::vector<State> StateMachine::available_states() const
{
  std::vector<State> states;
  for (uint8_t id : {S::PRIMARY_STATE_UNCONFIGURED, S::PRIMARY_STATE_INACTIVE,
      S::PRIMARY_STATE_ACTIVE, S::PRIMARY_STATE_FINALIZED, S::TRANSITION_STATE_CONFIGURING,
      S::TRANSITION_STATE_CLEANINGUP, S::TRANSITION_STATE_SHUTTINGDOWN,
      S::TRANSITION_STATE_ACTIVATING, S::TRANSITION_STATE_DEACTIVATING,
      S::TRANSITION_STATE_ERRORPROCESSING})
  {
    states.push_back(make_state(id));
  }
  return states;
}

std::vector<Transition> StateMachine::available_transitions() const
{
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  std::vector<Transition> transitions;
  for (const Edge & edge : kEdges) {
    if (edge.from == current_.id()) {
      transitions.emplace_back(edge.transition, edge.label, make_state(edge.from),
        make_state(edge.via));
    }
  }
  return transitions;
}

uint8_t StateMachine::shutdown_transition() const
{
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  switch (current_.id()) {
    case S::PRIMARY_STATE_UNCONFIGURED: return T::TRANSITION_UNCONFIGURED_SHUTDOWN;
    case S::PRIMARY_STATE_INACTIVE: return T::TRANSITION_INACTIVE_SHUTDOWN;
    case S::PRIMARY_STATE_ACTIVE: return T::TRANSITION_ACTIVE_SHUTDOWN;
    default: return 0;
  }
}

bool StateMachine::trigger(uint8_t transition_id, const Dispatch & dispatch, CallbackReturn & result)
{
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  const Edge * edge = nullptr;
  for (const Edge & candidate : kEdges) {
    if (candidate.transition == transition_id && candidate.from == current_.id()) {
      edge = &candidate;
    }
  }
  if (edge == nullptr) {
    return false;
  }
  const State previous = current_;
  current_ = make_state(edge->via);
  result = dispatch(edge->via, previous);
  if (result == CallbackReturn::SUCCESS) {
    current_ = make_state(edge->on_success);
  } else if (result == CallbackReturn::FAILURE) {
    current_ = make_state(edge->on_failure);
  } else {
    current_ = make_state(S::TRANSITION_STATE_ERRORPROCESSING);
    const CallbackReturn recovered = dispatch(S::TRANSITION_STATE_ERRORPROCESSING, previous);
    current_ = make_state(recovered == CallbackReturn::SUCCESS ?
        S::PRIMARY_STATE_UNCONFIGURED : S::PRIMARY_STATE_FINALIZED);
  }
  return true;
}

}  // namespace detail
}  // namespace rclcpp_lifecycle
