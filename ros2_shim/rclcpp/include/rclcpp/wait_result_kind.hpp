#pragma once

namespace rclcpp
{

enum class WaitResultKind
{
  Ready,
  Timeout,
  Empty,
};

}  // namespace rclcpp
