#pragma once

#include <cstdint>
#include <string>

namespace rclcpp_lifecycle
{

// A primary or transition state of the managed-node state machine.
class State
{
public:
  State();
  State(uint8_t id, const std::string & label);
  virtual ~State() = default;

  uint8_t id() const {return id_;}
  std::string label() const {return label_;}

  bool operator==(const State & other) const {return id_ == other.id_;}
  bool operator!=(const State & other) const {return id_ != other.id_;}

private:
  uint8_t id_;
  std::string label_;
};

}  // namespace rclcpp_lifecycle
