#ifndef TF2_ROS__BUFFER_H_
#define TF2_ROS__BUFFER_H_

#include <memory>
#include <string>

#include "geometry_msgs/msg/transform_stamped.hpp"
#include "rclcpp/rclcpp.hpp"
#include "tf2/buffer_core.h"
#include "tf2/time.h"
#include "tf2_ros/buffer_interface.h"

namespace tf2_ros
{

// The transform buffer of a ROS program: a tf2::BufferCore whose look-ups can wait
// for data.  A wait sleeps until a transform that may decide it arrives, the
// timeout (on the buffer's clock) passes or the process shuts down.  Without a
// dedicated thread feeding the buffer (isUsingDedicatedThread()) the calls taking
// a timeout, zero included, never wait: canTransform logs an error and returns
// false, lookupTransform looks up at once.
class Buffer : public BufferInterface, public tf2::BufferCore
{
public:
  using tf2::BufferCore::lookupTransform;
  using tf2::BufferCore::canTransform;
  using SharedPtr = std::shared_ptr<tf2_ros::Buffer>;

  // `node` is accepted for signature compatibility; the frame-graph service it
  // would serve is not offered here.
  Buffer(
    rclcpp::Clock::SharedPtr clock,
    tf2::Duration cache_time = tf2::Duration(tf2::BUFFER_CORE_DEFAULT_CACHE_TIME),
    rclcpp::Node::SharedPtr node = rclcpp::Node::SharedPtr());

  // Waits up to `timeout`, then looks up and raises what the look-up raises.
  geometry_msgs::msg::TransformStamped lookupTransform(
    const std::string & target_frame, const std::string & source_frame,
    const tf2::TimePoint & time, const tf2::Duration timeout) const override;

  geometry_msgs::msg::TransformStamped lookupTransform(
    const std::string & target_frame, const std::string & source_frame,
    const rclcpp::Time & time,
    const rclcpp::Duration timeout = rclcpp::Duration::from_nanoseconds(0)) const
  {
    return lookupTransform(target_frame, source_frame, fromRclcpp(time), fromRclcpp(timeout));
  }

  geometry_msgs::msg::TransformStamped lookupTransform(
    const std::string & target_frame, const tf2::TimePoint & target_time,
    const std::string & source_frame, const tf2::TimePoint & source_time,
    const std::string & fixed_frame, const tf2::Duration timeout) const override;

  geometry_msgs::msg::TransformStamped lookupTransform(
    const std::string & target_frame, const rclcpp::Time & target_time,
    const std::string & source_frame, const rclcpp::Time & source_time,
    const std::string & fixed_frame,
    const rclcpp::Duration timeout = rclcpp::Duration::from_nanoseconds(0)) const
  {
    return lookupTransform(
      target_frame, fromRclcpp(target_time), source_frame, fromRclcpp(source_time),
      fixed_frame, fromRclcpp(timeout));
  }

  bool canTransform(
    const std::string & target_frame, const std::string & source_frame,
    const tf2::TimePoint & target_time, const tf2::Duration timeout,
    std::string * errstr = nullptr) const override;

  bool canTransform(
    const std::string & target_frame, const std::string & source_frame,
    const rclcpp::Time & time,
    const rclcpp::Duration timeout = rclcpp::Duration::from_nanoseconds(0),
    std::string * errstr = nullptr) const
  {
    return canTransform(target_frame, source_frame, fromRclcpp(time), fromRclcpp(timeout), errstr);
  }

  bool canTransform(
    const std::string & target_frame, const tf2::TimePoint & target_time,
    const std::string & source_frame, const tf2::TimePoint & source_time,
    const std::string & fixed_frame, const tf2::Duration timeout,
    std::string * errstr = nullptr) const override;

  bool canTransform(
    const std::string & target_frame, const rclcpp::Time & target_time,
    const std::string & source_frame, const rclcpp::Time & source_time,
    const std::string & fixed_frame,
    const rclcpp::Duration timeout = rclcpp::Duration::from_nanoseconds(0),
    std::string * errstr = nullptr) const
  {
    return canTransform(
      target_frame, fromRclcpp(target_time), source_frame, fromRclcpp(source_time),
      fixed_frame, fromRclcpp(timeout), errstr);
  }

private:
  // Sleeps until target <- source at `time` is available, `deadline` passes on
  // clock_ or the context shuts down; true when available.
  bool waitForTransformable(
    const std::string & target_frame, const std::string & source_frame,
    const tf2::TimePoint & time, const rclcpp::Time & deadline) const;

  // A wait without a thread feeding the buffer could only ever time out.
  bool checkAndErrorDedicatedThreadPresent(std::string * errstr) const;

  rclcpp::Logger getLogger() const;

  // A clock switched to or from simulated time, or gone back, leaves data
  // the lookups would take for the present: all but the static transforms go.
  void onTimeJump(const rcl_time_jump_t & jump);

  rclcpp::Clock::SharedPtr clock_;
  rclcpp::Node::SharedPtr node_;
  // Last, so that it goes first and no jump reaches a buffer being destroyed.
  rclcpp::JumpHandler::SharedPtr jump_handler_;
};

static const char threading_error[] = "Do not call canTransform or lookupTransform with a timeout "
  "unless you are using another thread for populating data. Without a dedicated thread it will "
  "always timeout.  If you have a separate thread servicing tf messages, call "
  "setUsingDedicatedThread(true) on your Buffer instance.";

}  // namespace tf2_ros

#endif  // TF2_ROS__BUFFER_H_
