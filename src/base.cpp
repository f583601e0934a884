#include "quorvane_object_detect/base.hpp"

#include <algorithm>
#include <exception>
#include <stdexcept>
#include <string>

#include "ament_index_cpp/get_package_share_directory.hpp"
#include "quorvane_object_detect/camera_config.hpp"

namespace
{

using quorvane::camera_config::readParameter;

rclcpp::NodeOptions withOverridesDeclared(rclcpp::NodeOptions options)
{
  options.automatically_declare_parameters_from_overrides(true);
  return options;
}

}  // namespace

Base::Base(const rclcpp::NodeOptions & options)
: rclcpp_lifecycle::LifecycleNode("object_detect", withOverridesDeclared(options), true)
{
  configure();
  if (!configure_error_.empty()) {
    throw std::runtime_error(configure_error_);
  }
}

Base::CallbackReturn Base::on_configure(const rclcpp_lifecycle::State &)
{
  // A wrong parameter type or a missing share directory fails the transition
  // with its reason kept, instead of escaping into the lifecycle machinery.
  configure_error_.clear();
  try {
    readParameters();
  } catch (const std::exception & error) {
    configure_error_ = std::string("configure failed: ") + error.what();
    return CallbackReturn::FAILURE;
  }
  return CallbackReturn::SUCCESS;
}

void Base::readParameters()
{
  executors_ = readParameter<int>(*this, "executors", 1);
  cameras_ = readParameter<int>(*this, "cameras", 2);
  const auto tracker_file =
    readParameter<std::string>(*this, "tracker_config", "default_params/tracker.yaml");
  tracker_config_ = ament_index_cpp::get_package_share_directory("quorvane_object_detect") +
    "/config/" + tracker_file;
  for (int i = 1; i <= cameras_; ++i) {
    const std::string number = std::to_string(i);
    close_cam_.push_back(readParameter<bool>(*this, "close_cam" + number, false));
    trash_close_cam_.push_back(
      readParameter<bool>(*this, "trash_detection.close_cam" + number, false));
  }
  for (int i = 1; i <= cameras_; ++i) {
    const std::string number = std::to_string(i);
    const std::string key = "camera_" + number;
    const std::string topic = "/camera_0" + number;
    CameraTopics topics;
    topics.camera_info = readParameter<std::string>(
      *this, key + "_camera_info", topic + "/depth/camera_info");
    topics.rgb = readParameter<std::string>(*this, key + "_camera_rgb", topic + "/color/image_raw");
    topics.depth =
      readParameter<std::string>(*this, key + "_camera_depth", topic + "/depth/image_raw");
    camera_topics_.push_back(topics);
  }
}

Base::CallbackReturn Base::on_cleanup(const rclcpp_lifecycle::State &)
{
  return CallbackReturn::SUCCESS;
}

Base::CallbackReturn Base::on_activate(const rclcpp_lifecycle::State &)
{
  switchCameras(true);
  return CallbackReturn::SUCCESS;
}

Base::CallbackReturn Base::on_deactivate(const rclcpp_lifecycle::State &)
{
  switchCameras(false);
  return CallbackReturn::SUCCESS;
}

void Base::switchCameras(bool active)
{
  // A later configure may raise "cameras" beyond the cameras built at start-up.
  const auto count = std::min(
    static_cast<std::size_t>(std::max(cameras_, 0)), depth_cameras_.size());
  for (std::size_t i = 0; i < count; ++i) {
    if (depth_cameras_[i]) {
      depth_cameras_[i]->setActive(active);
    }
  }
}

void Base::setUp()
{
  detected_wastes_pub_ = create_publisher<quorvane_protocol::msg::DetectedWastes>(
    "detected_wastes", rclcpp::QoS(1));
  trash_marker_pub_ =
    create_publisher<visualization_msgs::msg::MarkerArray>("trash_marker", rclcpp::QoS(1));
  trash_tracker_ = std::make_shared<pelorin::perception::TrashTracker>(
    tracker_config_, detected_wastes_pub_, trash_marker_pub_);

  const auto self = shared_from_this();
  for (int n = 0; n < cameras_; ++n) {
    const auto index = static_cast<std::size_t>(n);
    if (index < close_cam_.size() && close_cam_[index]) {
      depth_cameras_.push_back(nullptr);
      continue;
    }
    const auto tracker = trash_close_cam_.at(index) ? nullptr : trash_tracker_;
    const CameraTopics & topics = camera_topics_.at(index);
    depth_cameras_.push_back(
      std::make_shared<DepthCamera>(
        self, n + 1, topics.depth, topics.rgb, topics.camera_info, tracker));
  }
}

void Base::stopCameras()
{
  for (const auto & camera : depth_cameras_) {
    if (camera) {
      camera->stopWorkers();
    }
  }
  depth_cameras_.clear();
}

std::size_t Base::executorThreads() const
{
  return static_cast<std::size_t>(std::max(executors_, 0));
}
