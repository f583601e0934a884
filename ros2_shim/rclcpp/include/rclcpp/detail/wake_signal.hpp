// How ready work reaches a sleeping executor or wait set without polling.
//
// A WakeSignal belongs to one waiter (an executor or a wait set); anything
// that can become ready holds a WakeLink pointing at the waiter that watches
// it.  The waiter reads the generation, looks for work, and sleeps only while
// the generation is unchanged, so a notify between the look and the sleep is
// never lost.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>

namespace rclcpp
{
namespace detail
{

class WakeSignal
{
public:
  using Clock = std::chrono::steady_clock;

  void notify();
  std::uint64_t generation() const;
  /// Sleeps until the generation differs from `seen` or `deadline` passes.
  void wait_until(std::uint64_t seen, Clock::time_point deadline) const;

private:
  mutable std::mutex mutex_;
  mutable std::condition_variable cv_;
  std::uint64_t generation_ = 0;
};

/// A re-targetable pointer at the waiter currently watching an entity.
class WakeLink
{
public:
  void set(const std::shared_ptr<WakeSignal> & signal);
  void clear_if(const std::shared_ptr<WakeSignal> & signal);
  bool is(const std::shared_ptr<WakeSignal> & signal) const;
  /// Notifies the target; false when there is none.
  bool notify() const;

private:
  mutable std::mutex mutex_;
  std::weak_ptr<WakeSignal> target_;
};

}  // namespace detail
}  // namespace rclcpp
