#include "node_harness.hpp"

#include <algorithm>
#include <cstdlib>
#include <iterator>
#include <regex>
#include <sstream>
#include <utility>

#include <gtest/gtest.h>

#include "geometry_msgs/msg/transform_stamped.hpp"
#include "sensor_msgs/msg/camera_info.hpp"

namespace node_test
{

namespace
{

// One ROS 2 context and one logger set-up for the whole test program.
class RosEnvironment : public ::testing::Environment
{
public:
  void SetUp() override
  {
    setenv("SPDLOG_STDOUT", "true", 1);
    setenv("SPDLOG_SYSTEMD", "false", 1);
    setenv("SPDLOG_LEVEL", "debug", 1);
    setenv("AMENT_PREFIX_PATH", QUORVANE_AMENT_PREFIX, 1);
    rclcpp::init(0, nullptr);
  }
  void TearDown() override {rclcpp::shutdown();}
};

const auto * const kRosEnvironment = ::testing::AddGlobalTestEnvironment(new RosEnvironment);

sensor_msgs::msg::CameraInfo cameraInfo(const std::string & frame_id, const CameraFeed & feed)
{
  sensor_msgs::msg::CameraInfo info;
  info.header.frame_id = frame_id;
  info.width = feed.width;
  info.height = feed.height;
  info.k = {feed.fx, 0.0, feed.cx, 0.0, feed.fy, feed.cy, 0.0, 0.0, 1.0};
  return info;
}

}  // namespace

std::vector<CameraFeed> defaultFeeds(int cameras)
{
  std::vector<CameraFeed> feeds;
  for (int i = 1; i <= cameras; ++i) {
    CameraFeed feed;
    feed.info_topic = "/camera_0" + std::to_string(i) + "/depth/camera_info";
    feed.frame_id = "camera_0" + std::to_string(i) + "_depth_optical_frame";
    feed.tx = 0.2;
    feed.ty = i == 1 ? 0.0 : -0.1;
    feed.tz = 0.5;
    feeds.push_back(feed);
  }
  return feeds;
}

std::vector<rclcpp::Parameter> baseParameters(const std::vector<rclcpp::Parameter> & extra)
{
  std::vector<rclcpp::Parameter> parameters{
    rclcpp::Parameter(
      "model_meta_file",
      std::string(QUORVANE_SOURCE_DIR) + "/tests/node/fixtures/meta_without_model.yaml"),
    rclcpp::Parameter("model_height_file", "model_height.yaml")};
  parameters.insert(parameters.end(), extra.begin(), extra.end());
  return parameters;
}

NodeHarness::NodeHarness(
  std::vector<rclcpp::Parameter> overrides, std::shared_ptr<rclcpp::Context> context)
: overrides_(std::move(overrides)), context_(std::move(context))
{
  static int peer_count = 0;
  peer_ = std::make_shared<rclcpp::Node>("node_test_peer_" + std::to_string(++peer_count));
  clock_pub_ = peer_->create_publisher<rosgraph_msgs::msg::Clock>("/clock", rclcpp::ClockQoS());
  exception_sub_ = peer_->create_subscription<quorvane_protocol::msg::ExceptionHandle>(
    "/exception_handle", rclcpp::QoS(100),
    [this](std::shared_ptr<const quorvane_protocol::msg::ExceptionHandle> msg) {
      std::lock_guard<std::mutex> lock(codes_mutex_);
      codes_.push_back(msg->error_code);
    });
  peer_executor_.add_node(peer_);
  peer_spinner_ = std::thread([this] {
        while (!stop_peer_.load() && rclcpp::ok()) {
          peer_executor_.spin_some(std::chrono::milliseconds(20));
          std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
      });
}

NodeHarness::~NodeHarness()
{
  stop_feeding_.store(true);
  if (feeder_.joinable()) {feeder_.join();}
  if (executor_) {executor_->cancel();}
  if (spinner_.joinable()) {spinner_.join();}
  if (node_) {node_->stopCameras();}
  executor_.reset();
  node_.reset();
  stop_peer_.store(true);
  if (peer_spinner_.joinable()) {peer_spinner_.join();}
}

void NodeHarness::start(const std::vector<CameraFeed> & feeds, bool activate)
{
  std::vector<geometry_msgs::msg::TransformStamped> transforms;
  for (const auto & feed : feeds) {
    geometry_msgs::msg::TransformStamped transform;
    transform.header.frame_id = "base_footprint";
    transform.child_frame_id = feed.frame_id;
    transform.transform.translation.x = feed.tx;
    transform.transform.translation.y = feed.ty;
    transform.transform.translation.z = feed.tz;
    transform.transform.rotation.x = feed.rotation[0];
    transform.transform.rotation.y = feed.rotation[1];
    transform.transform.rotation.z = feed.rotation[2];
    transform.transform.rotation.w = feed.rotation[3];
    transforms.push_back(transform);
  }
  // Latched: a camera's listener made later still receives them.
  broadcaster_ = std::make_shared<tf2_ros::StaticTransformBroadcaster>(peer_);
  broadcaster_->sendTransform(transforms);

  feeder_ = std::thread(&NodeHarness::feed, this, feeds);
  rclcpp::NodeOptions options;
  options.parameter_overrides(overrides_);
  if (context_) {options.context(context_);}
  try {
    node_ = std::make_shared<Base>(options);
    node_->setUp();
  } catch (...) {
    stop_feeding_.store(true);
    feeder_.join();
    throw;
  }
  stop_feeding_.store(true);
  feeder_.join();
  if (activate) {node_->activate();}
}

void NodeHarness::feed(std::vector<CameraFeed> feeds)
{
  auto publisher_of = [this](const std::string & topic) {
      return peer_->create_publisher<sensor_msgs::msg::CameraInfo>(topic, rclcpp::QoS(1));
    };
  std::vector<rclcpp::Publisher<sensor_msgs::msg::CameraInfo>::SharedPtr> publishers;
  // Bad answers still to give per camera: unknown frames, then zero matrices.
  std::vector<CameraFeed> left = feeds;
  using Clock = std::chrono::steady_clock;
  std::vector<Clock::time_point> answered(feeds.size());
  for (const auto & feed : feeds) {
    publishers.push_back(publisher_of(feed.info_topic));
  }
  // Answer each wait once: a camera subscribes anew for every attempt.  A
  // camera still waiting long after its answer has started its next attempt
  // between two looks of ours.
  const auto answer_again = std::chrono::milliseconds(500);
  while (!stop_feeding_.load()) {
    for (std::size_t i = 0; i < feeds.size(); ++i) {
      const bool waiting = peer_->count_subscribers(feeds[i].info_topic) > 0;
      if (waiting && Clock::now() - answered[i] > answer_again) {
        CameraFeed answer = feeds[i];
        if (left[i].unknown_frame_answers > 0) {
          --left[i].unknown_frame_answers;
          answer.frame_id = "frame_without_transform";
        } else if (left[i].uncalibrated_answers > 0) {
          --left[i].uncalibrated_answers;
          answer.fx = answer.fy = answer.cx = answer.cy = 0.0;
        }
        publishers[i]->publish(cameraInfo(answer.frame_id, answer));
        answers_.fetch_add(1);
        answered[i] = Clock::now();
      } else if (!waiting) {
        answered[i] = Clock::time_point();
      }
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

void NodeHarness::spin()
{
  executor_ = std::make_shared<rclcpp::executors::MultiThreadedExecutor>(
    rclcpp::ExecutorOptions(), node_->executorThreads(), true);
  executor_->add_node(node_->get_node_base_interface());
  spinner_ = std::thread([this] {executor_->spin();});
  // A cancel that comes before spin() starts would be lost.
  EXPECT_TRUE(waitFor([this] {return executor_->is_spinning();}));
}

void NodeHarness::setSimTime(double seconds)
{
  rosgraph_msgs::msg::Clock clock;
  clock.clock.sec = static_cast<int32_t>(seconds);
  clock.clock.nanosec = static_cast<uint32_t>((seconds - clock.clock.sec) * 1e9 + 0.5);
  const int64_t expected = static_cast<int64_t>(clock.clock.sec) * 1000000000LL + clock.clock.nanosec;
  clock_pub_->publish(clock);
  EXPECT_TRUE(waitFor([&] {return node_->now().nanoseconds() == expected;}))
    << "node clock did not reach " << seconds;
}

std::vector<int> NodeHarness::exceptionCodes() const
{
  std::lock_guard<std::mutex> lock(codes_mutex_);
  return codes_;
}

sensor_msgs::msg::Image makeImage(
  const std::string & encoding, int width, int height, double stamp, double value)
{
  sensor_msgs::msg::Image image;
  image.header.stamp.sec = static_cast<int32_t>(stamp);
  image.header.stamp.nanosec = static_cast<uint32_t>((stamp - image.header.stamp.sec) * 1e9 + 0.5);
  image.header.frame_id = "camera_01_depth_optical_frame";
  image.encoding = encoding;
  image.width = static_cast<uint32_t>(width);
  image.height = static_cast<uint32_t>(height);
  int bytes_per_pixel = 1;
  if (encoding == "16UC1" || encoding == "mono16") {bytes_per_pixel = 2;}
  if (encoding == "32FC1") {bytes_per_pixel = 4;}
  if (encoding == "rgb8" || encoding == "bgr8") {bytes_per_pixel = 3;}
  image.step = static_cast<uint32_t>(width * bytes_per_pixel);
  image.data.assign(static_cast<std::size_t>(image.step) * static_cast<std::size_t>(height), 0);
  if (encoding == "16UC1" || encoding == "mono16") {
    const auto pixel = static_cast<uint16_t>(value);
    for (std::size_t i = 0; i + 1 < image.data.size(); i += 2) {
      image.data[i] = static_cast<uint8_t>(pixel & 0xFF);
      image.data[i + 1] = static_cast<uint8_t>(pixel >> 8);
    }
  } else {
    std::fill(image.data.begin(), image.data.end(), static_cast<uint8_t>(value));
  }
  return image;
}

bool waitFor(const std::function<bool()> & condition, std::chrono::milliseconds limit)
{
  const auto end = std::chrono::steady_clock::now() + limit;
  while (std::chrono::steady_clock::now() < end) {
    if (condition()) {return true;}
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return condition();
}

std::vector<std::string> logTexts(const std::string & output)
{
  static const std::regex prefix(R"(^[ \d]{2}\d \[(DEBUG|INFO|WARN|ERROR)\] )");
  std::vector<std::string> texts;
  std::istringstream lines(output);
  std::string line;
  while (std::getline(lines, line)) {
    std::smatch match;
    if (std::regex_search(line, match, prefix)) {
      texts.push_back(match[1].str() + " " + match.suffix().str());
    }
  }
  return texts;
}

std::vector<std::string> errorLines(const std::vector<std::string> & texts)
{
  std::vector<std::string> errors;
  std::copy_if(
    texts.begin(), texts.end(), std::back_inserter(errors), [](const std::string & text) {
      return text.rfind("ERROR ", 0) == 0;
    });
  return errors;
}

}  // namespace node_test
