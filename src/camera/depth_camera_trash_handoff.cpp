#include <exception>
#include <mutex>

#include "quorvane_object_detect/trash_detection.hpp"

#define TRASH_LOG(level, ...) QLOG_AS("trashDetectionCallback", level, __VA_ARGS__)

bool offerTrashFrame(
  const TrashHandOff & hand_off, const sensor_msgs::msg::Image::ConstSharedPtr & depth,
  const AiDetectResult & detection)
{
  // A busy thread keeps the mutex for a whole frame (up to 100 ms for
  // "cmd_vel" and the transform timeouts): the depth frame must not wait.
  std::unique_lock<std::mutex> lock(hand_off.mutex, std::try_to_lock);
  if (!lock.owns_lock() || detection.bboxs_info.empty() || !hand_off.idle.load()) {
    return false;
  }
  DepthCamera::TrashThreadInputPara & record = hand_off.record;
  record.depth = depth;
  record.rgb = detection.image;
  record.bboxs_info = detection.bboxs_info;
  record.stamp = detection.stamp;
  hand_off.idle.exchange(false);
  hand_off.cv.notify_all();
  return true;
}

void runTrashThread(
  const TrashHandOff & hand_off,
  const std::function<void(DepthCamera::TrashThreadInputPara &)> & frame, int camera_id)
{
  while (true) {
    {
      std::unique_lock<std::mutex> lock(hand_off.mutex);
      hand_off.cv.wait(lock, [&hand_off] {return !hand_off.idle.load() || hand_off.stop.load();});
      if (hand_off.stop.load()) {
        return;
      }
      // A frame that fails must not end the thread: trash detection would stop for good.
      try {
        frame(hand_off.record);
      } catch (const std::exception & error) {
        TRASH_LOG(
          spdlog::level::err, "cam_{0:d} trash frame dropped: {1:s}", camera_id, error.what());
      } catch (...) {
        TRASH_LOG(spdlog::level::err, "cam_{0:d} trash frame dropped: unknown error", camera_id);
      }
      hand_off.idle.exchange(true);
    }
    // Counted once the mutex is free, so a frame offered on seeing the count is taken.
    ++hand_off.frames_done;
  }
}
