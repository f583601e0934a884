#pragma once

#include <chrono>
#include <memory>

#include "rclcpp/macros.hpp"

namespace rclcpp
{

/// Sleeps so that loop iterations start one period apart.
class WallRate
{
public:
  RCLCPP_SMART_PTR_DEFINITIONS(WallRate)

  explicit WallRate(double rate);
  explicit WallRate(std::chrono::nanoseconds period);

  /// Sleeps until the next period starts; false when the period was already
  /// over (the schedule then restarts from now).
  bool sleep();
  bool is_steady() const {return true;}
  void reset();
  std::chrono::nanoseconds period() const;

private:
  std::chrono::nanoseconds period_;
  std::chrono::steady_clock::time_point last_interval_;
};

using Rate = WallRate;

}  // namespace rclcpp
