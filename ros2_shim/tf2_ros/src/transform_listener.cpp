#include "tf2_ros/transform_listener.h"

#include <chrono>
#include <cstdio>
#include <exception>
#include <string>
#include <utility>

namespace tf2_ros
{

TransformListener::TransformListener(tf2::BufferCore & buffer, bool spin_thread)
: buffer_(buffer)
{
  // A unique name, also forced through the arguments so that a global
  // "__node:=" remap of the program does not rename this helper node too.
  char node_name[48];
  std::snprintf(
    node_name, sizeof(node_name), "transform_listener_impl_%zx",
    reinterpret_cast<size_t>(this));
  rclcpp::NodeOptions options;
  options.arguments({"--ros-args", "-r", "__node:=" + std::string(node_name)});
  options.start_parameter_event_publisher(false);
  options.start_parameter_services(false);
  optional_default_node_ = rclcpp::Node::make_shared(node_name, options);
  init(
    optional_default_node_, spin_thread, DynamicListenerQoS(), StaticListenerQoS(),
    detail::get_default_transform_listener_sub_options(),
    detail::get_default_transform_listener_static_sub_options());
}

TransformListener::~TransformListener()
{
  if (spin_thread_ && executor_) {
    // A cancel that lands before the thread has entered spin() is lost, so
    // repeat it until the thread is out.
    do {
      executor_->cancel();
    } while (spin_finished_.wait_for(std::chrono::milliseconds(1)) != std::future_status::ready);
    dedicated_listener_thread_->join();
  }
}

void TransformListener::initThread(
  rclcpp::node_interfaces::NodeBaseInterface::SharedPtr node_base_interface)
{
  executor_ = std::make_shared<rclcpp::executors::SingleThreadedExecutor>();
  std::promise<void> finished;
  spin_finished_ = finished.get_future();
  auto run = [executor = executor_, logger = logger_, finished = std::move(finished)](
    rclcpp::CallbackGroup::SharedPtr group,
    rclcpp::node_interfaces::NodeBaseInterface::SharedPtr node_base) mutable {
      executor->add_callback_group(group, node_base);
      try {
        executor->spin();
      } catch (const std::exception & e) {
        RCLCPP_ERROR(*logger, "The transform listener thread stopped: %s", e.what());
      }
      executor->remove_callback_group(group);
      finished.set_value();
    };
  dedicated_listener_thread_ =
    std::make_unique<std::thread>(std::move(run), callback_group_, node_base_interface);
}

void TransformListener::subscription_callback(
  tf2_msgs::msg::TFMessage::ConstSharedPtr msg, bool is_static)
{
  // Where a message came from is not known at this level.
  const std::string authority = "Authority undetectable";
  for (const auto & transform : msg->transforms) {
    try {
      buffer_.setTransform(transform, authority, is_static);
    } catch (const tf2::TransformException & ex) {
      RCLCPP_ERROR(
        *logger_, "Failure to set received transform from %s to %s with error: %s\n",
        transform.child_frame_id.c_str(), transform.header.frame_id.c_str(), ex.what());
    }
  }
}

}  // namespace tf2_ros
