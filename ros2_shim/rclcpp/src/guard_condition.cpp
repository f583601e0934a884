#include "rclcpp/guard_condition.hpp"

#include <stdexcept>

namespace rclcpp
{

GuardCondition::GuardCondition(rclcpp::Context::SharedPtr context)
: context_(std::move(context))
{
  if (!context_) {
    throw std::invalid_argument("context argument unexpectedly nullptr");
  }
}

GuardCondition::~GuardCondition() = default;

rclcpp::Context::SharedPtr GuardCondition::get_context() const {return context_;}

void GuardCondition::trigger()
{
  triggered_.store(true);
  wake_link_.notify();
}

bool GuardCondition::exchange_in_use_by_wait_set_state(bool in_use_state)
{
  return in_use_by_wait_set_.exchange(in_use_state);
}

bool GuardCondition::is_triggered() const {return triggered_.load();}

bool GuardCondition::take_triggered() {return triggered_.exchange(false);}

detail::WakeLink & GuardCondition::wake_link() {return wake_link_;}

}  // namespace rclcpp
