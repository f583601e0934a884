#pragma once

#include <chrono>
#include <cstddef>
#include <mutex>

#include "rclcpp/executor.hpp"
#include "rclcpp/executor_options.hpp"
#include "rclcpp/macros.hpp"

namespace rclcpp
{
namespace executors
{

/// Runs callbacks on a pool of threads, honouring callback-group exclusivity.
class MultiThreadedExecutor : public rclcpp::Executor
{
public:
  RCLCPP_SMART_PTR_DEFINITIONS(MultiThreadedExecutor)

  /// number_of_threads 0 takes the hardware concurrency (at least 2);
  /// timeout bounds each wait for work (negative: without limit).
  explicit MultiThreadedExecutor(
    const rclcpp::ExecutorOptions & options = rclcpp::ExecutorOptions(),
    size_t number_of_threads = 0,
    bool yield_before_execute = false,
    std::chrono::nanoseconds timeout = std::chrono::nanoseconds(-1));
  ~MultiThreadedExecutor() override;

  /// Spins on number_of_threads threads, the caller's included, until
  /// cancel() or shutdown.  The first exception a callback throws stops all
  /// threads and is rethrown here.
  void spin() override;

  size_t get_number_of_threads();

protected:
  void run(size_t this_thread_number);

private:
  std::mutex wait_mutex_;
  size_t number_of_threads_;
  bool yield_before_execute_;
  std::chrono::nanoseconds next_exec_timeout_;
};

}  // namespace executors
}  // namespace rclcpp
