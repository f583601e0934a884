#include <chrono>
#include <exception>
#include <memory>

#include "quorvane_object_detect/base.hpp"
#include "rclcpp/rclcpp.hpp"
#include "rcutils/allocator.h"

int main(int argc, char ** argv)
{
  try {
    rclcpp::init(
      argc, argv, rclcpp::InitOptions(rcutils_get_default_allocator()),
      rclcpp::SignalHandlerOptions::All);
  } catch (const std::exception & error) {
    // A bad command line or parameters file: nothing is running yet.
    QLOG_ERROR("object_detect failed: {}", error.what());
    return 1;
  }

  int status = 0;
  std::shared_ptr<Base> node;
  try {
    node = std::make_shared<Base>();
    node->setUp();
    node->activate();
    auto executor = std::make_shared<rclcpp::executors::MultiThreadedExecutor>(
      rclcpp::ExecutorOptions(), node->executorThreads(), true, std::chrono::nanoseconds(-1));
    executor->add_node(node->get_node_base_interface(), true);
    executor->spin();
  } catch (const StartUpInterrupted &) {
    // SIGINT while a camera waited for its camera info: an ordinary stop.
  } catch (const std::exception & error) {
    QLOG_ERROR("object_detect failed: {}", error.what());
    status = 1;
  }
  // Worker threads use the logger, the camera-frame table and the cameras;
  // they end here, before any of those go away.
  if (node) {
    node->stopCameras();
  }
  rclcpp::shutdown(nullptr, "user called rclcpp::shutdown()");
  return status;
}
