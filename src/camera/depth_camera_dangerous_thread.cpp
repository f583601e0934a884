#include "quorvane_object_detect/depth_camera.hpp"

#include <mutex>

// Body of the dangerous-region thread: waits until a frame is handed over,
// then frees the records again.  Inflation and publishing join with the
// escalator stage.
void DepthCamera::dangerousMapCallback(
  DangerousThreadInputPara * /*lethal_input*/, DangerousThreadInputPara * /*dangerous_input*/)
{
  while (true) {
    std::unique_lock<std::mutex> lock(dangerous_mutex_);
    dangerous_cv_.wait(
      lock, [this] {return !dangerous_thread_idle_.load() || stop_workers_.load();});
    if (stop_workers_.load()) {
      return;
    }
    dangerous_thread_idle_.exchange(true);
  }
}
