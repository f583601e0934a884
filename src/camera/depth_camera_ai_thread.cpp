#include <exception>
#include <mutex>

#include "quorvane_object_detect/depth_camera.hpp"

// Body of the AI thread: infers each posted colour image (state 1) and hands
// the result back (state 2).  A failing inference hands back no boxes; the
// thread lives on.
void DepthCamera::aiInferenceCallback(AiThreadInputPara * input)
{
  while (true) {
    std::unique_lock<std::mutex> lock(ai_mutex_);
    ai_cv_.wait(lock, [this] {return ai_thread_state_.load() == 1 || stop_workers_.load();});
    if (stop_workers_.load()) {
      return;
    }
    try {
      aiInference(input->rgb, input->result);
    } catch (const std::exception & error) {
      input->result.bboxs_info.clear();
      QLOG_ERROR("cam_{0:d} ai thread inference failed: {1:s}", camera_id_, error.what());
    } catch (...) {
      input->result.bboxs_info.clear();
      QLOG_ERROR("cam_{0:d} ai thread inference failed", camera_id_);
    }
    ai_thread_state_.exchange(2);
    ai_cv_.notify_all();
  }
}
