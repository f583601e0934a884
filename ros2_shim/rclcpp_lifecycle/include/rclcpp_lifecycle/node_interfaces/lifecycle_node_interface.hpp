#pragma once

#include <cstdint>

#include "lifecycle_msgs/msg/transition.hpp"
#include "rclcpp_lifecycle/state.hpp"

namespace rclcpp_lifecycle
{
namespace node_interfaces
{

// The six transition callbacks of a managed node.  Each receives the state the
// node was in when the transition started.
class LifecycleNodeInterface
{
protected:
  LifecycleNodeInterface() = default;

public:
  enum class CallbackReturn : uint8_t
  {
    SUCCESS = lifecycle_msgs::msg::Transition::TRANSITION_CALLBACK_SUCCESS,
    FAILURE = lifecycle_msgs::msg::Transition::TRANSITION_CALLBACK_FAILURE,
    ERROR = lifecycle_msgs::msg::Transition::TRANSITION_CALLBACK_ERROR,
  };

  virtual CallbackReturn on_configure(const State & previous_state);
  virtual CallbackReturn on_cleanup(const State & previous_state);
  virtual CallbackReturn on_shutdown(const State & previous_state);
  virtual CallbackReturn on_activate(const State & previous_state);
  virtual CallbackReturn on_deactivate(const State & previous_state);
  virtual CallbackReturn on_error(const State & previous_state);

  virtual ~LifecycleNodeInterface() = default;
};

}  // namespace node_interfaces
}  // namespace rclcpp_lifecycle
