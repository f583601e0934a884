#ifndef TF2_ROS__TRANSFORM_LISTENER_H_
#define TF2_ROS__TRANSFORM_LISTENER_H_

#include <functional>
#include <future>
#include <memory>
#include <thread>
#include <utility>

#include "rclcpp/rclcpp.hpp"
#include "tf2/buffer_core.h"
#include "tf2/time.h"
#include "tf2_msgs/msg/tf_message.hpp"
#include "tf2_ros/qos.hpp"

namespace tf2_ros
{

namespace detail
{
template<class AllocatorT = std::allocator<void>>
rclcpp::SubscriptionOptionsWithAllocator<AllocatorT>
get_default_transform_listener_sub_options()
{
  return rclcpp::SubscriptionOptionsWithAllocator<AllocatorT>();
}

template<class AllocatorT = std::allocator<void>>
rclcpp::SubscriptionOptionsWithAllocator<AllocatorT>
get_default_transform_listener_static_sub_options()
{
  return rclcpp::SubscriptionOptionsWithAllocator<AllocatorT>();
}
}  // namespace detail

// Feeds a buffer from "/tf" and "/tf_static".  With spin_thread the two
// subscriptions get a callback group of their own, served by a private executor
// on a dedicated thread, so look-ups may wait while the program's executors are
// busy; the destructor stops and joins that thread.
class TransformListener
{
public:
  // Creates an internal node; the default context must be initialised
  // (rclcpp::init), else the node's constructor throws.
  explicit TransformListener(tf2::BufferCore & buffer, bool spin_thread = true);

  template<class NodeT, class AllocatorT = std::allocator<void>>
  TransformListener(
    tf2::BufferCore & buffer,
    NodeT && node,
    bool spin_thread = true,
    const rclcpp::QoS & qos = DynamicListenerQoS(),
    const rclcpp::QoS & static_qos = StaticListenerQoS(),
    const rclcpp::SubscriptionOptionsWithAllocator<AllocatorT> & options =
    detail::get_default_transform_listener_sub_options<AllocatorT>(),
    const rclcpp::SubscriptionOptionsWithAllocator<AllocatorT> & static_options =
    detail::get_default_transform_listener_static_sub_options<AllocatorT>())
  : buffer_(buffer)
  {
    init(node, spin_thread, qos, static_qos, options, static_options);
  }

  virtual ~TransformListener();

  TransformListener(const TransformListener &) = delete;
  TransformListener & operator=(const TransformListener &) = delete;

private:
  template<class NodeT, class AllocatorT>
  void init(
    NodeT && node,
    bool spin_thread,
    const rclcpp::QoS & qos,
    const rclcpp::QoS & static_qos,
    const rclcpp::SubscriptionOptionsWithAllocator<AllocatorT> & options,
    const rclcpp::SubscriptionOptionsWithAllocator<AllocatorT> & static_options)
  {
    spin_thread_ = spin_thread;
    logger_ = std::make_shared<rclcpp::Logger>(node->get_logger());
    using callback_t = std::function<void (tf2_msgs::msg::TFMessage::ConstSharedPtr)>;
    callback_t cb = std::bind(
      &TransformListener::subscription_callback, this, std::placeholders::_1, false);
    callback_t static_cb = std::bind(
      &TransformListener::subscription_callback, this, std::placeholders::_1, true);

    rclcpp::SubscriptionOptionsWithAllocator<AllocatorT> tf_options = options;
    rclcpp::SubscriptionOptionsWithAllocator<AllocatorT> tf_static_options = static_options;
    if (spin_thread_) {
      // Not added to the node's executors: only the private executor serves it.
      callback_group_ = node->create_callback_group(
        rclcpp::CallbackGroupType::MutuallyExclusive, false);
      tf_options.callback_group = callback_group_;
      tf_static_options.callback_group = callback_group_;
    }
    message_subscription_tf_ = node->template create_subscription<tf2_msgs::msg::TFMessage>(
      "/tf", qos, std::move(cb), tf_options);
    message_subscription_tf_static_ =
      node->template create_subscription<tf2_msgs::msg::TFMessage>(
      "/tf_static", static_qos, std::move(static_cb), tf_static_options);
    if (spin_thread_) {
      initThread(node->get_node_base_interface());
      // Look-ups with a timeout may now wait: somebody keeps filling the buffer.
      buffer_.setUsingDedicatedThread(true);
    }
  }

  void initThread(rclcpp::node_interfaces::NodeBaseInterface::SharedPtr node_base_interface);

  void subscription_callback(tf2_msgs::msg::TFMessage::ConstSharedPtr msg, bool is_static);

  bool spin_thread_ = false;
  std::unique_ptr<std::thread> dedicated_listener_thread_;
  std::future<void> spin_finished_;  // ready once the dedicated thread leaves spin()
  rclcpp::Node::SharedPtr optional_default_node_;
  rclcpp::Subscription<tf2_msgs::msg::TFMessage>::SharedPtr message_subscription_tf_;
  rclcpp::Subscription<tf2_msgs::msg::TFMessage>::SharedPtr message_subscription_tf_static_;
  tf2::BufferCore & buffer_;
  std::shared_ptr<rclcpp::Logger> logger_;
  rclcpp::executors::SingleThreadedExecutor::SharedPtr executor_;
  rclcpp::CallbackGroup::SharedPtr callback_group_;
};

}  // namespace tf2_ros

#endif  // TF2_ROS__TRANSFORM_LISTENER_H_
