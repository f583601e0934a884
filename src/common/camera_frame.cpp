#include <memory>
#include <mutex>
#include <vector>

#include "quorvane_object_detect/common.hpp"

std::vector<std::shared_ptr<CameraFrame>> camera_frames(6);
std::mutex camera_frames_mutex;

void CameraFrame::setFovPoints(const FovPoints & points)
{
  std::lock_guard<std::mutex> lock(points_mutex_);
  fov_points_ = points;
  valid.store(true);
}

bool CameraFrame::getFovPoints(FovPoints & out) const
{
  std::lock_guard<std::mutex> lock(points_mutex_);
  if (!valid.load()) {
    return false;
  }
  out = fov_points_;
  return true;
}

std::shared_ptr<CameraFrame> getCameraFrame(int index)
{
  std::lock_guard<std::mutex> lock(camera_frames_mutex);
  if (index < 0 || static_cast<std::size_t>(index) >= camera_frames.size()) {
    return nullptr;
  }
  return camera_frames[static_cast<std::size_t>(index)];
}

std::shared_ptr<CameraFrame> installCameraFrame(int index, const Eigen::Vector3f & origin)
{
  if (index < 0) {
    return nullptr;
  }
  const auto slot = static_cast<std::size_t>(index);
  std::lock_guard<std::mutex> lock(camera_frames_mutex);
  if (slot >= camera_frames.size()) {
    camera_frames.resize(slot + 1);
  }
  if (!camera_frames[slot]) {
    camera_frames[slot] = std::make_shared<CameraFrame>(origin);
  }
  return camera_frames[slot];
}
