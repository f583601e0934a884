#include "tf2_ros/buffer.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <sstream>
#include <stdexcept>
#include <utility>

namespace tf2_ros
{

namespace
{

constexpr tf2::TransformableRequestHandle kNeverTransformable = 0xffffffffffffffffULL;

// Shared by a waiter and the callbacks that may outlive its wait.
struct Wakeup
{
  std::mutex mutex;
  std::condition_variable cv;
  bool signalled = false;

  void signal()
  {
    {
      std::lock_guard<std::mutex> lock(mutex);
      signalled = true;
    }
    cv.notify_all();
  }
};

// start + timeout, saturating instead of overflowing for huge timeouts.
rclcpp::Time deadlineAfter(const rclcpp::Time & start, const tf2::Duration & timeout)
{
  const rclcpp::Time latest = rclcpp::Time::max(start.get_clock_type());
  if (timeout.count() >= latest.nanoseconds() - start.nanoseconds()) {
    return latest;
  }
  return start + rclcpp::Duration(timeout);
}

void appendTimeoutInfo(
  std::string * errstr, const rclcpp::Time & start, const rclcpp::Time & now,
  const tf2::Duration & timeout)
{
  if (errstr) {
    std::ostringstream info;
    info << ". canTransform returned after " << (now - start).seconds() << " timeout was " <<
      tf2::durationToSec(timeout) << ".";
    *errstr += info.str();
  }
}

}  // namespace

Buffer::Buffer(
  rclcpp::Clock::SharedPtr clock, tf2::Duration cache_time, rclcpp::Node::SharedPtr node)
: BufferCore(cache_time), clock_(std::move(clock)), node_(std::move(node))
{
  if (!clock_) {
    throw std::invalid_argument("tf2_ros::Buffer needs a clock");
  }
  rcl_jump_threshold_t threshold{};
  threshold.on_clock_change = true;
  threshold.min_backward.nanoseconds = -1;
  jump_handler_ = clock_->create_jump_callback(
    nullptr, [this](const rcl_time_jump_t & jump) {onTimeJump(jump);}, threshold);
}

void Buffer::onTimeJump(const rcl_time_jump_t & jump)
{
  if (jump.clock_change == RCL_ROS_TIME_ACTIVATED ||
    jump.clock_change == RCL_ROS_TIME_DEACTIVATED)
  {
    RCLCPP_WARN(getLogger(), "Detected time source change. Clearing TF buffer.");
  } else {
    RCLCPP_WARN(getLogger(), "Detected jump back in time. Clearing TF buffer.");
  }
  clear();
}

geometry_msgs::msg::TransformStamped Buffer::lookupTransform(
  const std::string & target_frame, const std::string & source_frame,
  const tf2::TimePoint & time, const tf2::Duration timeout) const
{
  // The wait only decides when to look; the look-up itself raises the real reason.
  std::string ignored;
  canTransform(target_frame, source_frame, time, timeout, &ignored);
  return tf2::BufferCore::lookupTransform(target_frame, source_frame, time);
}

geometry_msgs::msg::TransformStamped Buffer::lookupTransform(
  const std::string & target_frame, const tf2::TimePoint & target_time,
  const std::string & source_frame, const tf2::TimePoint & source_time,
  const std::string & fixed_frame, const tf2::Duration timeout) const
{
  std::string ignored;
  canTransform(
    target_frame, target_time, source_frame, source_time, fixed_frame, timeout, &ignored);
  return tf2::BufferCore::lookupTransform(
    target_frame, target_time, source_frame, source_time, fixed_frame);
}

bool Buffer::canTransform(
  const std::string & target_frame, const std::string & source_frame,
  const tf2::TimePoint & time, const tf2::Duration timeout, std::string * errstr) const
{
  if (!checkAndErrorDedicatedThreadPresent(errstr)) {
    return false;
  }
  if (timeout > tf2::Duration::zero()) {
    const rclcpp::Time start = clock_->now();
    waitForTransformable(target_frame, source_frame, time, deadlineAfter(start, timeout));
    if (tf2::BufferCore::canTransform(target_frame, source_frame, time, errstr)) {
      return true;
    }
    appendTimeoutInfo(errstr, start, clock_->now(), timeout);
    return false;
  }
  return tf2::BufferCore::canTransform(target_frame, source_frame, time, errstr);
}

bool Buffer::canTransform(
  const std::string & target_frame, const tf2::TimePoint & target_time,
  const std::string & source_frame, const tf2::TimePoint & source_time,
  const std::string & fixed_frame, const tf2::Duration timeout, std::string * errstr) const
{
  if (!checkAndErrorDedicatedThreadPresent(errstr)) {
    return false;
  }
  if (timeout > tf2::Duration::zero()) {
    const rclcpp::Time start = clock_->now();
    const rclcpp::Time deadline = deadlineAfter(start, timeout);
    // Both legs must become available; data only accumulates, so waiting for
    // one after the other within the same deadline is enough.
    if (waitForTransformable(target_frame, fixed_frame, target_time, deadline)) {
      waitForTransformable(fixed_frame, source_frame, source_time, deadline);
    }
    if (tf2::BufferCore::canTransform(
        target_frame, target_time, source_frame, source_time, fixed_frame, errstr))
    {
      return true;
    }
    appendTimeoutInfo(errstr, start, clock_->now(), timeout);
    return false;
  }
  return tf2::BufferCore::canTransform(
    target_frame, target_time, source_frame, source_time, fixed_frame, errstr);
}

bool Buffer::waitForTransformable(
  const std::string & target_frame, const std::string & source_frame,
  const tf2::TimePoint & time, const rclcpp::Time & deadline) const
{
  auto wakeup = std::make_shared<Wakeup>();
  auto context = rclcpp::contexts::get_global_default_context();
  const auto shutdown_handle = context->add_on_shutdown_callback([wakeup] {wakeup->signal();});
  // The requests live in mutable members: registering does not change the tree.
  auto & core = const_cast<Buffer &>(*this);
  bool available = false;
  for (;;) {
    const tf2::TransformableRequestHandle handle = core.addTransformableRequest(
      [wakeup](auto &&...) {wakeup->signal();}, target_frame, source_frame, time);
    if (handle == 0 || handle == kNeverTransformable) {
      available = handle == 0;
      break;
    }
    bool signalled = false;
    {
      std::unique_lock<std::mutex> lock(wakeup->mutex);
      while (!wakeup->signalled && rclcpp::ok()) {
        const rclcpp::Duration remaining = deadline - clock_->now();
        if (remaining.nanoseconds() <= 0) {
          break;
        }
        // Bounded so that a clock jump cannot leave us asleep for ages.
        wakeup->cv.wait_for(
          lock, std::min(remaining.to_chrono<std::chrono::nanoseconds>(),
          std::chrono::nanoseconds(std::chrono::seconds(1))));
      }
      signalled = wakeup->signalled;
      wakeup->signalled = false;
    }
    core.cancelTransformableRequest(handle);
    if (!signalled) {
      break;
    }
  }
  context->remove_on_shutdown_callback(shutdown_handle);
  return available;
}

bool Buffer::checkAndErrorDedicatedThreadPresent(std::string * errstr) const
{
  if (isUsingDedicatedThread()) {
    return true;
  }
  if (errstr) {
    *errstr = threading_error;
  }
  RCLCPP_ERROR(getLogger(), "%s", threading_error);
  return false;
}

rclcpp::Logger Buffer::getLogger() const
{
  return node_ ? node_->get_logger() : rclcpp::get_logger("tf2_buffer");
}

}  // namespace tf2_ros
