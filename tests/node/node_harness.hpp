#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "quorvane_object_detect/base.hpp"
#include "quorvane_protocol/msg/exception_handle.hpp"
#include "rclcpp/rclcpp.hpp"
#include "rosgraph_msgs/msg/clock.hpp"
#include "sensor_msgs/msg/image.hpp"
#include "tf2_ros/static_transform_broadcaster.h"

namespace node_test
{

// What one camera's driver offers while the camera starts.
struct CameraFeed
{
  std::string info_topic;
  std::string frame_id;
  double tx = 0.0, ty = 0.0, tz = 0.0;  // camera origin in base_footprint
  std::array<double, 4> rotation{0.0, 0.0, 0.0, 1.0};  // x, y, z, w of the camera in base_footprint
  // The camera info.
  double fx = 600.0, fy = 610.0, cx = 320.0, cy = 240.0;
  uint32_t width = 640, height = 400;
  // Camera-info answers given with a frame tf2 does not know, before the good one.
  int unknown_frame_answers = 0;
  // Then answers with an all-zero camera matrix, as from an uncalibrated driver.
  int uncalibrated_answers = 0;
};

// The feeds of the default topics of cameras 1 and 2.
std::vector<CameraFeed> defaultFeeds(int cameras = 2);

// The parameters every test node needs (configuration files of the package),
// then `extra`.
std::vector<rclcpp::Parameter> baseParameters(const std::vector<rclcpp::Parameter> & extra = {});

// Runs the real node in-process: answers each camera's camera-info wait from
// another thread, publishes the camera frames' static transforms, then
// activates the node and spins it.
class NodeHarness
{
public:
  explicit NodeHarness(
    std::vector<rclcpp::Parameter> overrides,
    std::shared_ptr<rclcpp::Context> context = nullptr);
  ~NodeHarness();

  // Constructs Base and its cameras; rethrows what start-up throws.
  void start(const std::vector<CameraFeed> & feeds, bool activate = true);
  void spin();

  // Sets the simulated time of the node (use_sim_time) and waits until the
  // node's clock shows it.
  void setSimTime(double seconds);

  rclcpp::Node::SharedPtr peer() const {return peer_;}
  std::shared_ptr<Base> node() const {return node_;}
  int cameraInfoAnswers() const {return answers_.load();}

  std::vector<int> exceptionCodes() const;

private:
  void feed(std::vector<CameraFeed> feeds);

  std::vector<rclcpp::Parameter> overrides_;
  std::shared_ptr<rclcpp::Context> context_;
  rclcpp::Node::SharedPtr peer_;
  std::shared_ptr<Base> node_;
  std::shared_ptr<rclcpp::executors::MultiThreadedExecutor> executor_;
  std::thread spinner_;
  std::thread feeder_;
  std::atomic<bool> stop_feeding_{false};
  std::atomic<int> answers_{0};
  std::shared_ptr<tf2_ros::StaticTransformBroadcaster> broadcaster_;
  rclcpp::Publisher<rosgraph_msgs::msg::Clock>::SharedPtr clock_pub_;
  rclcpp::Subscription<quorvane_protocol::msg::ExceptionHandle>::SharedPtr exception_sub_;
  mutable std::mutex codes_mutex_;
  std::vector<int> codes_;
  rclcpp::executors::SingleThreadedExecutor peer_executor_;
  std::thread peer_spinner_;
  std::atomic<bool> stop_peer_{false};
};

sensor_msgs::msg::Image makeImage(
  const std::string & encoding, int width, int height, double stamp, double value);

// Polls `condition` every 10 ms for up to `limit`.
bool waitFor(const std::function<bool()> & condition,
  std::chrono::milliseconds limit = std::chrono::milliseconds(5000));

// Lines of captured output with the "NNN [LEVEL] " prefix removed, kept only
// for lines that carry one.
std::vector<std::string> logTexts(const std::string & output);

// The ERROR texts among `texts`.
std::vector<std::string> errorLines(const std::vector<std::string> & texts);

}  // namespace node_test
