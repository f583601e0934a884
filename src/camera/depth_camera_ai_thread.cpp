#include "quorvane_object_detect/depth_camera.hpp"

#include <mutex>

// Body of the AI thread: waits for a posted colour image (state 1) and hands
// the record back (state 2).  Inference on the record joins with the AI stage.
void DepthCamera::aiInferenceCallback(AiThreadInputPara * /*input*/)
{
  while (true) {
    std::unique_lock<std::mutex> lock(ai_mutex_);
    ai_cv_.wait(lock, [this] {return ai_thread_state_.load() == 1 || stop_workers_.load();});
    if (stop_workers_.load()) {
      return;
    }
    ai_thread_state_.exchange(2);
    ai_cv_.notify_all();
  }
}
