#pragma once

#include <cstdint>
#include <string>

#include "rclcpp_lifecycle/state.hpp"

namespace rclcpp_lifecycle
{

// A transition between two states, identified by its lifecycle_msgs id.
class Transition
{
public:
  explicit Transition(uint8_t id, const std::string & label = "");
  Transition(uint8_t id, const std::string & label, State && start, State && goal);
  virtual ~Transition() = default;

  uint8_t id() const {return id_;}
  std::string label() const {return label_;}
  State start_state() const {return start_;}
  State goal_state() const {return goal_;}

private:
  uint8_t id_;
  std::string label_;
  State start_;
  State goal_;
};

}  // namespace rclcpp_lifecycle
