#include <mutex>
#include <vector>

#include <opencv2/core.hpp>

#include "quorvane_object_detect/depth_camera.hpp"
#include "quorvane_object_detect/ai_detections.hpp"

#define PROCESS_LOG(level, ...) QLOG_AS("process", level, __VA_ARGS__)
#define INFERENCE_LOG(level, ...) QLOG_AS("aiInference", level, __VA_ARGS__)

// The AI stage of a frame: the paired colour image through the model, inline
// or on the AI thread.  Skipped, it leaves no boxes and a black image.
void DepthCamera::aiStage(FrameContext & frame)
{
  frame.times.ai_start = StageTimes::now();
  // The thread infers every paired image, also one the decision below skips.
  if (use_ai_thread_ && matched_rgb_msg_) {
    postToAiThread(frame.rgb, frame.frame_stamp);
  }
  AiDetectResult result;
  result.stamp = frame.frame_stamp;
  if (!matched_rgb_msg_ || close_ai_detect_ || hibernate_.load()) {
    if (debug_ || data_flow_trace_) {
      PROCESS_LOG(spdlog::level::debug, "cam_{0:d} abandon or close run ai", camera_id_);
    }
    result.bboxs_info.clear();
    result.image = cv::Mat::zeros(image_height_, image_width_, CV_8UC3);
  } else {
    PROCESS_LOG(spdlog::level::debug, "cam_{0:d} run ai", camera_id_);
    if (use_ai_thread_) {
      takeAiThreadResult(result);
    } else {
      aiInference(frame.rgb, result);
    }
  }
  frame.detection = std::move(result);
  frame.times.ai_end = StageTimes::now();
}

void DepthCamera::postToAiThread(const cv::Mat & rgb, double stamp)
{
  std::lock_guard<std::mutex> lock(ai_mutex_);
  ai_thread_state_.exchange(0);
  ai_thread_input_.result.bboxs_info.clear();
  ai_thread_input_.result.stamp = stamp;
  ai_thread_input_.rgb = rgb;
  ai_thread_state_.exchange(1);
  ai_cv_.notify_all();
}

// Waits for the inference of the image just posted.
void DepthCamera::takeAiThreadResult(AiDetectResult & result)
{
  PROCESS_LOG(spdlog::level::debug, "use ai thread");
  std::unique_lock<std::mutex> lock(ai_mutex_);
  while (ai_thread_state_.load() != 2 && !stop_workers_.load()) {
    PROCESS_LOG(spdlog::level::debug, "wait ai data arrives of cam_id={0:d}", camera_id_);
    ai_cv_.wait(lock);
  }
  result.image = ai_thread_input_.result.image;
  result.bboxs_info = ai_thread_input_.result.bboxs_info;
  result.stamp = ai_thread_input_.result.stamp;
}

// Runs the model on `image` and appends the detections that reach their
// class's confidence threshold.
void DepthCamera::aiInference(const cv::Mat & image, AiDetectResult & result)
{
  const StageTimes::Stamp start = StageTimes::now();
  if (image.empty() || !ai_model_) {
    return;
  }
  std::vector<pelorin::model::ModelBoxInfo> raw;
  ai_model_->Inference(image, raw);
  INFERENCE_LOG(
    spdlog::level::debug, "cam_{0:d} ori detect bbox size = {1:d}", camera_id_, raw.size());
  result.image = image;
  keepConfidentDetections(raw, *ai_conf_, image.size(), camera_id_, result.bboxs_info);
  INFERENCE_LOG(
    spdlog::level::debug, "cam_{0:d} filtered detect bbox size = {1:d}", camera_id_,
    result.bboxs_info.size());
  if (debug_) {
    INFERENCE_LOG(
      spdlog::level::debug, "cam_{0:d} :<ai_whole_process_duration> runtime = {1:d}(us)",
      camera_id_, microseconds(start, StageTimes::now()));
  }
}
