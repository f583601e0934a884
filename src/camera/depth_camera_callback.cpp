#include <algorithm>
#include <cfloat>
#include <chrono>
#include <cmath>
#include <exception>
#include <mutex>
#include <thread>

#include "pelorin/perception/time_conversions.hpp"
#include "quorvane_object_detect/depth_camera.hpp"

#define CALLBACK_LOG(...) QLOG_AS("callback", spdlog::level::debug, __VA_ARGS__)

namespace
{

constexpr int kPairingStepMs = 10;
// Report-site key of error_report_time_ (the input checks hold the others).
constexpr int kKeyImageSizes = 851;

bool colourSizeDiffers(const sensor_msgs::msg::Image * rgb, const sensor_msgs::msg::Image & depth)
{
  return rgb && (rgb->width != depth.width || rgb->height != depth.height);
}

}  // namespace

// Takes a depth frame in, pairs it with the closest colour image and runs the
// pipeline.  Nothing a stage throws leaves here: the frame ends with one line
// naming the stage, and the next frame runs as usual.
void DepthCamera::callback(const sensor_msgs::msg::Image::ConstSharedPtr & msg)
{
  FrameContext frame;
  frame.times.entry = StageTimes::now();
  frame.times.search_start = frame.times.search_end = frame.times.entry;
  if (!active_.load()) {
    QLOG_DEBUG("current now is hibernate");
    return;
  }
  try {
    if (takeIn(msg)) {
      frame.depth = msg;
      pairAndProcess(frame);
    }
  } catch (const std::exception & error) {
    QLOG_ERROR("cam_{0:d} frame dropped in {1:s}: {2:s}", camera_id_, frame.stage, error.what());
  } catch (...) {
    QLOG_ERROR("cam_{0:d} frame dropped in {1:s}: unknown error", camera_id_, frame.stage);
  }
  // A frame refused at intake has no depth stamp to measure from.
  if (frame.depth) {
    logFrameEnd(frame);
  }
  frames_done_.fetch_add(1);
}

// The intake checks and the queue the sensor check watches; false for an
// image no stage may read.
bool DepthCamera::takeIn(const sensor_msgs::msg::Image::ConstSharedPtr & msg)
{
  const bool readable = checkData(msg, 1);
  std::lock_guard<std::mutex> lock(depth_mutex_);
  depth_queue_.push_back(msg);
  if (depth_queue_.size() > static_cast<std::size_t>(std::max(rgb_buffer_size_, 0))) {
    depth_queue_.pop_front();
  }
  return readable;
}

void DepthCamera::pairAndProcess(FrameContext & frame)
{
  rgb_mismatch_ = false;
  frame.depth_stamp = TimeToDouble(frame.depth->header);
  CALLBACK_LOG("camera_{0:d} depthCallback get msg-time = {1:05.4f}(s)",
    camera_id_, frame.depth_stamp);

  frame.stage = "search_rgb";
  frame.times.search_start = StageTimes::now();
  matched_rgb_msg_.reset();
  const double now = TimeToDouble(node_->now());
  searchRgb(frame);
  frame.times.search_end = StageTimes::now();
  // The masks are read pixel for pixel over the depth image: a colour image
  // of another size puts them in the wrong places.
  if (colourSizeDiffers(matched_rgb_msg_.get(), *frame.depth) &&
    claimReport(kKeyImageSizes, now))
  {
    QLOG_AS(
      "callback", spdlog::level::warn,
      "cam_{0:d} colour image {1:d}x{2:d} is not the depth image's size {3:d}x{4:d}", camera_id_,
      matched_rgb_msg_->width, matched_rgb_msg_->height, frame.depth->width, frame.depth->height);
  }

  if (data_flow_trace_) {
    depth_latency_count_ += 1;
    depth_latency_sum_ += std::fabs(now - frame.depth_stamp);
    if (depth_latency_count_ > 74) {
      QLOG_AS(
        "callback", spdlog::level::info, "camera_{0:d} depthCallback time fly even = {1:05.4f}(s)",
        camera_id_, depth_latency_sum_ / depth_latency_count_);
      depth_latency_sum_ = 0.0;
      depth_latency_count_ = 0;
    }
  }
  CALLBACK_LOG(
    "camera_info_pub_time = {0:05.4f}(s) of cam_id={1:d} rgb_pub_time = {2:05.4f}(s) "
    "depth_pub_time = {3:05.4f}(s) current_time = {4:05.4f}(s)",
    now - frame.frame_stamp, camera_id_, frame.rgb_stamp, frame.depth_stamp, now);
  process(frame);
}

// Pairing: the queued colour image closest to the depth stamp, retried in
// 10 ms steps within depth_rgb_wait_time_ms_.  A colour image found but too
// far apart stays attached; the mismatch flag limits what it is used for.
void DepthCamera::searchRgb(FrameContext & frame)
{
  // Without any colour image the frame stands alone in time.
  frame.rgb_stamp = frame.depth_stamp;
  frame.frame_stamp = frame.depth_stamp;
  double difference = static_cast<double>(FLT_MAX);
  if (depth_rgb_wait_time_ms_ > 0) {
    int budget = depth_rgb_wait_time_ms_ - kPairingStepMs;
    while (true) {
      {
        std::lock_guard<std::mutex> lock(rgb_mutex_);
        const double t = TimeToDouble(frame.depth->header);
        double best = t;
        for (const auto & rgb : rgb_queue_) {
          const double d = std::fabs(t - TimeToDouble(rgb->header));
          if (best > d) {
            best = d;
            matched_rgb_msg_ = rgb;
          }
        }
      }
      if (matched_rgb_msg_) {
        frame.rgb_stamp = TimeToDouble(matched_rgb_msg_->header);
        frame.frame_stamp = (frame.depth_stamp + frame.rgb_stamp) * 0.5;
        difference = std::fabs(frame.depth_stamp - frame.rgb_stamp);
        if (difference <= static_cast<double>(depth_rgb_time_diff_)) {
          break;
        }
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(kPairingStepMs));
      const int remaining = budget;
      budget -= kPairingStepMs;
      if (remaining <= 0) {
        break;
      }
    }
  }
  if (difference > static_cast<double>(depth_rgb_time_diff_)) {
    rgb_mismatch_ = true;
    QLOG_AS(
      "callback", spdlog::level::warn, "ErrorCo:{}, The difference between depth={} and rgb={} timestamp is too large of cam_{}, "
      "diff={}only use trad method ",
      kErrSensorTime, frame.depth_stamp, frame.rgb_stamp, camera_id_, difference);
  }
}

// The three closing run-time lines, with the debug flag or the data-flow trace.
void DepthCamera::logFrameEnd(const FrameContext & frame)
{
  const StageTimes::Stamp end = StageTimes::now();
  if (!debug_ && !data_flow_trace_) {
    return;
  }
  const double now = TimeToDouble(node_->now());
  const StageTimes & t = frame.times;
  CALLBACK_LOG(
    "cam_{0:d} :<search_rgb> runtime = {1:d}(us)", camera_id_,
    microseconds(t.search_start, t.search_end));
  CALLBACK_LOG(
    "cam_{0:d} :<process> runtime = {1:d}(us)", camera_id_, microseconds(t.search_end, end));
  CALLBACK_LOG(
    "cam_{0:d} :<callback> runtime = {1:d}(us) time fly = {2:05.4f} (s)", camera_id_,
    microseconds(t.entry, end), now - frame.depth_stamp);
}
