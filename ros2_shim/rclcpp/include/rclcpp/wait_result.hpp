#pragma once

#include <stdexcept>

#include "rclcpp/wait_result_kind.hpp"

namespace rclcpp
{

/// The outcome of WaitSet::wait.
template<class WaitSetT>
class WaitResult
{
public:
  static WaitResult from_ready_wait_result_kind(WaitSetT & wait_set)
  {
    return WaitResult(WaitResultKind::Ready, &wait_set);
  }
  static WaitResult from_timeout_wait_result_kind() {return WaitResult(WaitResultKind::Timeout);}
  static WaitResult from_empty_wait_result_kind() {return WaitResult(WaitResultKind::Empty);}

  WaitResultKind kind() const {return kind_;}

  /// The wait set, only for a Ready result; raises std::runtime_error otherwise.
  WaitSetT & get_wait_set()
  {
    if (kind_ != WaitResultKind::Ready || wait_set_ == nullptr) {
      throw std::runtime_error("cannot access the wait set when the result was not ready");
    }
    return *wait_set_;
  }

private:
  explicit WaitResult(WaitResultKind kind, WaitSetT * wait_set = nullptr)
  : kind_(kind), wait_set_(wait_set) {}

  WaitResultKind kind_;
  WaitSetT * wait_set_;
};

}  // namespace rclcpp
