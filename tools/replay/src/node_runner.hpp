#pragma once

#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "quorvane_object_detect/base.hpp"
#include "rclcpp/rclcpp.hpp"

namespace replay
{

// The node as object_detect runs it (Base on a multi-threaded executor), in
// this process: the parameters files in order, then `overrides` over them.
class NodeRunner
{
public:
  // Constructs and configures Base; throws what that throws.
  NodeRunner(const std::vector<std::string> & params_files,
    const std::vector<rclcpp::Parameter> & overrides);
  // Stops the executor, then the cameras' worker threads.
  ~NodeRunner();

  NodeRunner(const NodeRunner &) = delete;
  NodeRunner & operator=(const NodeRunner &) = delete;

  // Starts the cameras, activates and spins.  Each camera waits for its
  // camera info and mount: `while_starting` runs every 20 ms on another
  // thread until all cameras are up, to send them.
  void start(const std::function<void()> & while_starting);

  Base & node() const {return *node_;}

private:
  std::shared_ptr<Base> node_;
  std::shared_ptr<rclcpp::executors::MultiThreadedExecutor> executor_;
  std::thread spinner_;
};

}  // namespace replay
