#include "quorvane_object_detect/depth_camera.hpp"

#include <mutex>

// Body of the trash thread: waits until a frame is handed in, then frees the
// record again.  Gating, selection and the tracker update join with the trash
// detection.
void DepthCamera::trashDetectionCallback(TrashThreadInputPara * /*input*/)
{
  while (true) {
    std::unique_lock<std::mutex> lock(trash_mutex_);
    trash_cv_.wait(lock, [this] {return !trash_thread_idle_.load() || stop_workers_.load();});
    if (stop_workers_.load()) {
      return;
    }
    trash_thread_idle_.exchange(true);
  }
}
