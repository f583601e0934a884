#include "node_runner.hpp"

#include <atomic>
#include <chrono>

namespace replay
{

NodeRunner::NodeRunner(
  const std::vector<std::string> & params_files, const std::vector<rclcpp::Parameter> & overrides)
{
  std::vector<std::string> arguments{"--ros-args"};
  for (const std::string & file : params_files) {
    arguments.insert(arguments.end(), {"--params-file", file});
  }
  rclcpp::NodeOptions options;
  options.arguments(arguments);
  options.parameter_overrides(overrides);
  node_ = std::make_shared<Base>(options);
}

NodeRunner::~NodeRunner()
{
  if (executor_) {
    executor_->cancel();
  }
  if (spinner_.joinable()) {
    spinner_.join();
  }
  // Worker threads use the cameras, the logger and the camera-frame table.
  node_->stopCameras();
}

void NodeRunner::start(const std::function<void()> & while_starting)
{
  std::atomic<bool> started{false};
  std::thread sender([&] {
      while (!started.load()) {
        while_starting();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
      }
    });
  try {
    node_->setUp();
  } catch (...) {
    started.store(true);
    sender.join();
    throw;
  }
  started.store(true);
  sender.join();
  node_->activate();
  executor_ = std::make_shared<rclcpp::executors::MultiThreadedExecutor>(
    rclcpp::ExecutorOptions(), node_->executorThreads(), true);
  executor_->add_node(node_->get_node_base_interface());
  spinner_ = std::thread([this] {executor_->spin();});
  // A cancel that comes before spin() starts would be lost.
  while (!executor_->is_spinning()) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

}  // namespace replay
