#include "rclcpp_lifecycle/state.hpp"

#include "lifecycle_msgs/msg/state.hpp"
#include "rclcpp_lifecycle/transition.hpp"

namespace rclcpp_lifecycle
{

State::State()
: id_(lifecycle_msgs::msg::State::PRIMARY_STATE_UNKNOWN), label_("unknown")
{
}

State::State(uint8_t id, const std::string & label)
: id_(id), label_(label)
{
}

Transition::Transition(uint8_t id, const std::string & label)
: id_(id), label_(label)
{
}

Transition::Transition(uint8_t id, const std::string & label, State && start, State && goal)
: id_(id), label_(label), start_(std::move(start)), goal_(std::move(goal))
{
}

}  // namespace rclcpp_lifecycle
