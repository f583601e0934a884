#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <exception>
#include <functional>
#include <limits>
#include <mutex>
#include <string>

#include <opencv2/core.hpp>

#include "pelorin/perception/time_conversions.hpp"
#include "quorvane_object_detect/depth_camera.hpp"
#include "sensor_msgs/image_encodings.hpp"

namespace
{

// Report-site keys of error_report_time_.
constexpr int kKeyImageAge = 762;  // + kind: 762 colour, 763 depth
constexpr int kKeyEmptyImage = 774;  // + kind: 774 colour, 775 depth
constexpr int kKeyUnreadable = 779;  // + kind: 779 colour, 780 depth
constexpr int kKeyDepthChannels = 781;
constexpr int kKeyDepthFrameId = 782;
constexpr int kKeyDepthSize = 783;
constexpr int kKeyRgbRate = 797;
constexpr int kKeyRgbStale = 809;
constexpr int kKeyDepthRate = 825;
constexpr int kKeyDepthStale = 836;

constexpr double kMaxImageAge = 0.5;  // s
// Stamps a little ahead come from clocks a little apart; far ahead, the
// driver runs on another clock, and every transform at its stamps would be
// waited for.
constexpr double kMaxImageLead = 10.0;  // s
constexpr double kMinStreamRate = 5.0;  // Hz
constexpr double kMaxStreamSilence = 1.0;  // s
constexpr double kReportInterval = 60.0;  // s

// Why no stage may read an image: its report site and the text after
// "camera<N> ".  No site when every stage may.
struct Refusal
{
  int key = 0;
  std::string why;
  bool empty = false;  // reported with the sensor-data code
};

// The checks every image passes before anything reads it, whatever its age.
// cv_bridge multiplies height by step in 32 bits, so the layout is checked
// here in 64: a 65536 x 65536 claim over no data would pass its check and be
// read far out of bounds.  A depth image must also be one channel of the
// camera info's size, the size its intrinsics are for (any size while none
// is known).
Refusal refusal(const sensor_msgs::msg::Image & image, int kind, const cv::Size & depth_size)
{
  namespace enc = sensor_msgs::image_encodings;
  const std::string name = kind == 0 ? "rgb" : "depth";
  const std::string what =
    std::to_string(image.width) + "x" + std::to_string(image.height) + " " + image.encoding;
  const auto unreadable = [&](const std::string & why) {
      return Refusal{kKeyUnreadable + kind, name + " image unreadable: " + what + ": " + why};
    };
  uint64_t channels = 0;
  uint64_t pixel_bytes = 0;
  try {
    channels = static_cast<uint64_t>(enc::numChannels(image.encoding));
    pixel_bytes = static_cast<uint64_t>(enc::bitDepth(image.encoding) / 8) * channels;
  } catch (const std::exception &) {
    return unreadable("unknown encoding");
  }
  const auto limit = static_cast<uint32_t>(std::numeric_limits<int>::max());
  if (image.width > limit || image.height > limit) {
    return unreadable("more than " + std::to_string(limit) + " pixels a side");
  }
  const uint64_t row = uint64_t{image.width} * pixel_bytes;
  if (image.step < row) {
    return unreadable(
      "step " + std::to_string(image.step) + " is shorter than a row of " + std::to_string(row) +
      " bytes");
  }
  const uint64_t claimed = uint64_t{image.height} * image.step;
  if (claimed != image.data.size()) {
    return unreadable(
      std::to_string(image.height) + " rows of " + std::to_string(image.step) + " bytes are " +
      std::to_string(claimed) + " bytes, the message holds " + std::to_string(image.data.size()));
  }
  if (image.width == 0 || image.height == 0) {
    return {kKeyEmptyImage + kind, name + " is empty", true};
  }
  if (kind == 0) {
    return {};
  }
  if (channels != 1) {
    return {kKeyDepthChannels, "depth image has " + std::to_string(channels) + " channels (" +
      image.encoding + "), expected one"};
  }
  if (!depth_size.empty() && (image.width != static_cast<uint32_t>(depth_size.width) ||
    image.height != static_cast<uint32_t>(depth_size.height)))
  {
    return {kKeyDepthSize, "depth image " + what + " is not the camera info's size " +
      std::to_string(depth_size.width) + "x" + std::to_string(depth_size.height) +
      ": its intrinsics do not fit it"};
  }
  return {};
}

// True when a readable one-channel image has no non-zero pixel; read in place.
bool allZero(const sensor_msgs::msg::Image & image)
{
  // Row by row in 64-bit offsets: a row may hold more bytes than an int counts.
  const uint64_t row_bytes =
    uint64_t{image.width} * (sensor_msgs::image_encodings::bitDepth(image.encoding) / 8);
  for (uint64_t row = 0; row < image.height; ++row) {
    const uint8_t * begin = image.data.data() + row * image.step;
    if (std::any_of(begin, begin + row_bytes, [](uint8_t byte) {return byte != 0;})) {
      return false;
    }
  }
  return true;
}

}  // namespace

void DepthCamera::initializeSubscriber(const std::string & depth_topic, const std::string & rgb_topic)
{
  QLOG_DEBUG("initialize subscriber start");
  using std::placeholders::_1;

  rgb_callback_group_ =
    node_->create_callback_group(rclcpp::CallbackGroupType::MutuallyExclusive, true);
  rclcpp::SubscriptionOptions rgb_options;
  rgb_options.callback_group = rgb_callback_group_;
  rgb_sub_ = node_->create_subscription<sensor_msgs::msg::Image>(
    rgb_topic, rclcpp::QoS(1), std::bind(&DepthCamera::rgbCallback, this, _1), rgb_options);

  depth_callback_group_ =
    node_->create_callback_group(rclcpp::CallbackGroupType::MutuallyExclusive, true);
  rclcpp::SubscriptionOptions depth_options;
  depth_options.callback_group = depth_callback_group_;
  depth_sub_ = node_->create_subscription<sensor_msgs::msg::Image>(
    depth_topic, rclcpp::QoS(1), std::bind(&DepthCamera::callback, this, _1), depth_options);

  fsm_status_sub_ = node_->create_subscription<quorvane_protocol::msg::TaskCenterFsmStatus>(
    fsm_status_topic_, rclcpp::QoS(1), std::bind(&DepthCamera::fsmStatusCallback, this, _1));

  sensor_check_timer_ = node_->create_wall_timer(
    std::chrono::milliseconds(500), std::bind(&DepthCamera::sensorCheckCallback, this),
    depth_callback_group_);
  QLOG_DEBUG("initialize Subscriber end");
}

void DepthCamera::rgbCallback(const sensor_msgs::msg::Image::ConstSharedPtr & msg)
{
  if (active_.load()) {
    queueRgb(msg);
  } else {
    QLOG_DEBUG("current now is hibernate");
  }
  rgb_images_done_.fetch_add(1);
}

void DepthCamera::queueRgb(const sensor_msgs::msg::Image::ConstSharedPtr & msg)
{
  if (!checkData(msg, 0)) {
    return;
  }

  std::lock_guard<std::mutex> lock(rgb_mutex_);
  rgb_queue_.push_back(msg);
  if (rgb_queue_.size() > static_cast<std::size_t>(std::max(rgb_buffer_size_, 0))) {
    rgb_queue_.pop_front();
  }
  if (data_flow_trace_) {
    const double now = TimeToDouble(node_->now());
    const double stamp = TimeToDouble(msg->header);
    QLOG_DEBUG("camera_{0:d} rgbCallback get msg-time = {1:05.4f}(s)", camera_id_, stamp);
    rgb_latency_sum_ += std::fabs(now - stamp);
    rgb_latency_count_ += 1;
    if (rgb_latency_count_ > 74) {
      QLOG_INFO(
        "camera_{0:d} rgbCallback time fly even = {1:05.4f}(s)", camera_id_,
        rgb_latency_sum_ / rgb_latency_count_);
      rgb_latency_sum_ = 0.0;
      rgb_latency_count_ = 0;
    }
  }
}

void DepthCamera::fsmStatusCallback(
  std::shared_ptr<const quorvane_protocol::msg::TaskCenterFsmStatus> msg)
{
  hibernate_.store(msg->fsm_state == 8 && msg->fsm_sub_state != 400);
}

bool DepthCamera::checkData(const sensor_msgs::msg::Image::ConstSharedPtr & msg, int kind)
{
  const double now = TimeToDouble(node_->now());
  const double stamp = TimeToDouble(msg->header);
  const char * name = kind == 0 ? "rgb" : "depth";
  // The camera info's size, or, from a camera info without one, the first
  // frame's: the depth callback alone writes it, with each frame it takes.
  const Refusal refused =
    refusal(*msg, kind, kind == 1 ? cv::Size(image_width_, image_height_) : cv::Size());
  if (refused.key != 0) {
    if (claimReport(refused.key, now)) {
      QLOG_ERROR("camera{} {}", camera_id_, refused.why);
      if (refused.empty) {
        sendErrorCode(kErrSensorData);
      }
    }
    return false;
  }
  // A stale image is still read: its age says nothing about its pixels.
  if (now - stamp > kMaxImageAge || stamp - now > kMaxImageLead) {
    if (claimReport(kKeyImageAge + kind, now)) {
      QLOG_ERROR(
        "camera{} {} time error, current_time is {} but msg_time is {}", camera_id_, name, now,
        stamp);
      sendErrorCode(kErrSensorTime);
    }
    return true;
  }
  if (kind != 1) {
    return true;
  }
  if (msg->header.frame_id.empty() && claimReport(kKeyDepthFrameId, now)) {
    // The frame still runs on the calibrated pose; only its trash needs the frame.
    QLOG_ERROR("camera{} depth image has no frame_id, its trash cannot be placed", camera_id_);
  }
  if (allZero(*msg) && claimReport(kKeyEmptyImage + kind, now)) {
    QLOG_ERROR("camera{} {} is empty", camera_id_, name);
    sendErrorCode(kErrSensorData);
  }
  return true;
}

void DepthCamera::sensorCheckCallback()
{
  const double now = TimeToDouble(node_->now());
  {
    std::lock_guard<std::mutex> lock(rgb_mutex_);
    checkQueue(rgb_queue_, "rgb", now, kKeyRgbRate, kKeyRgbStale);
  }
  {
    std::lock_guard<std::mutex> lock(depth_mutex_);
    checkQueue(depth_queue_, "depth", now, kKeyDepthRate, kKeyDepthStale);
  }
}

void DepthCamera::checkQueue(
  const std::deque<std::shared_ptr<const sensor_msgs::msg::Image>> & queue, const char * kind,
  double now, int rate_key, int stale_key)
{
  // Only a full queue says something about the stream's rate.
  if (queue.empty() || queue.size() != static_cast<std::size_t>(rgb_buffer_size_)) {
    return;
  }
  const double newest = TimeToDouble(queue.back()->header);
  const double span = newest - TimeToDouble(queue.front()->header);
  const double rate = static_cast<double>(queue.size()) / span;
  // Stamps out of order (a restarted clock, a stamp from the future) give no rate.
  if (span > 0.0 && rate < kMinStreamRate && claimReport(rate_key, now)) {
    QLOG_ERROR("camera{} {} sensor frequency is too low {}", camera_id_, kind, rate);
    sendErrorCode(kErrSensorData);
  }
  if (now - newest > kMaxStreamSilence && claimReport(stale_key, now)) {
    QLOG_ERROR(
      "{} long time without update data of cam_{}, last_update_time is {} but current_time is {}",
      kind, camera_id_, newest, now);
    sendErrorCode(kErrSensorData);
  }
}

bool DepthCamera::claimReport(int key, double now)
{
  std::lock_guard<std::mutex> lock(error_report_mutex_);
  const auto last = error_report_time_.find(key);
  // A clock that went back (a restarted simulation) must not silence a site
  // until it passes the old time again.
  if (last != error_report_time_.end() && now >= last->second &&
    !(now - last->second > kReportInterval))
  {
    return false;
  }
  error_report_time_[key] = now;
  return true;
}

void DepthCamera::sendErrorCode(int code)
{
  QLOG_ERROR("ErrorCode:{} in camera{}", code, camera_id_);
  quorvane_protocol::msg::ExceptionHandle report;
  report.header.stamp = node_->now();
  report.header.frame_id = "";
  report.error_code = code;
  exception_handle_pub_->publish(report);
}
