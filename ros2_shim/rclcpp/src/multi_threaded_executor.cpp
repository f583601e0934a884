#include "rclcpp/executors/multi_threaded_executor.hpp"

#include <algorithm>
#include <exception>
#include <thread>
#include <vector>

namespace rclcpp
{
namespace executors
{

MultiThreadedExecutor::MultiThreadedExecutor(
  const rclcpp::ExecutorOptions & options, size_t number_of_threads,
  bool yield_before_execute, std::chrono::nanoseconds timeout)
: rclcpp::Executor(options),
  number_of_threads_(
    number_of_threads > 0 ? number_of_threads :
    std::max<size_t>(std::thread::hardware_concurrency(), 2)),
  yield_before_execute_(yield_before_execute),
  next_exec_timeout_(timeout) {}

MultiThreadedExecutor::~MultiThreadedExecutor() = default;

size_t MultiThreadedExecutor::get_number_of_threads() {return number_of_threads_;}

void MultiThreadedExecutor::spin()
{
  SpinGuard guard(*this, "spin() called while already spinning");
  std::mutex error_mutex;
  std::exception_ptr first_error;
  // A callback's exception must not end a worker thread silently (or the
  // process, as an escaping exception would): stop everyone and rethrow.
  auto guarded_run = [&](size_t thread_number) {
      try {
        run(thread_number);
      } catch (...) {
        {
          std::lock_guard<std::mutex> lock(error_mutex);
          if (!first_error) {
            first_error = std::current_exception();
          }
        }
        cancel();
      }
    };
  std::vector<std::thread> threads;
  threads.reserve(number_of_threads_ - 1);
  for (size_t i = 1; i < number_of_threads_; ++i) {
    threads.emplace_back(guarded_run, i);
  }
  guarded_run(0);
  for (auto & thread : threads) {
    thread.join();
  }
  if (first_error) {
    std::rethrow_exception(first_error);
  }
}

void MultiThreadedExecutor::run(size_t)
{
  while (rclcpp::ok(context_) && spinning.load()) {
    AnyExecutable any_executable;
    {
      // One thread looks for work at a time; the others queue here.
      std::lock_guard<std::mutex> lock(wait_mutex_);
      if (!rclcpp::ok(context_) || !spinning.load()) {
        return;
      }
      if (!get_next_executable(any_executable, next_exec_timeout_)) {
        continue;
      }
    }
    if (yield_before_execute_) {
      std::this_thread::yield();
    }
    execute_any_executable(any_executable);
  }
}

}  // namespace executors
}  // namespace rclcpp
