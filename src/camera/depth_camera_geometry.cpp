#include <chrono>
#include <cmath>
#include <cstdint>

#include "pcl_ros/transforms.hpp"
#include "pelorin/perception/time_conversions.hpp"
#include "quorvane_object_detect/depth_camera.hpp"
#include "quorvane_object_detect/wait_for_message.hpp"
#include "tf2/exceptions.h"
#include "tf2/time.h"

namespace
{

// Larger than any depth camera's image: camera 2's floor table holds 12 bytes
// a pixel, 200 MB at the limit.
constexpr uint32_t kMaxImageSide = 8192;
constexpr uint64_t kMaxImagePixels = 4096 * 4096;
// Below one pixel a focal length is a driver's placeholder: every ray would
// leave the camera almost sideways, and no frame would give a point.
constexpr float kMinFocalLength = 1.0F;
constexpr int kStockImageWidth = 640;
constexpr int kStockImageHeight = 400;

}  // namespace

bool DepthCamera::get_cam_para(const std::string & camera_info_topic)
{
  if (camera_info_topic.empty()) {
    return false;
  }
  sensor_msgs::msg::CameraInfo info;
  if (!rclcpp::wait_for_message(
      info, node_, wait_callback_group_, camera_info_topic, std::chrono::seconds(10)))
  {
    return false;
  }
  const float fx = static_cast<float>(info.k[0]);
  const float fy = static_cast<float>(info.k[4]);
  const float cx = static_cast<float>(info.k[2]);
  const float cy = static_cast<float>(info.k[5]);
  intrinsics_ = {fx, fy, cx, cy};
  QLOG_INFO("cam_{} : fxParam={}, cxParam={}, fyParam={}, cyParam={}", camera_id_, fx, cx, fy, cy);
  // Every depth pixel is divided by the focal lengths: a driver that has not
  // been calibrated yet (all zero) would turn each frame into infinities.
  if (!(fx >= kMinFocalLength && fy >= kMinFocalLength && std::isfinite(fx) &&
    std::isfinite(fy) && std::isfinite(cx) && std::isfinite(cy)))
  {
    QLOG_ERROR("cam_{} camera info has no usable intrinsics", camera_id_);
    return false;
  }
  // Camera 2 sizes its floor table by the camera info: a corrupt size would
  // ask for the machine's memory at start-up.
  if (info.width > kMaxImageSide || info.height > kMaxImageSide) {
    QLOG_ERROR(
      "cam_{} camera info claims a {}x{} image, more than {} pixels a side", camera_id_,
      info.width, info.height, kMaxImageSide);
    return false;
  }
  if (uint64_t{info.width} * info.height > kMaxImagePixels) {
    QLOG_ERROR(
      "cam_{} camera info claims a {}x{} image, more than {} pixels", camera_id_, info.width,
      info.height, kMaxImagePixels);
    return false;
  }
  image_width_ = static_cast<int>(info.width);
  image_height_ = static_cast<int>(info.height);

  if (getTransformMatrix(kBaseFrame, info.header.frame_id, node_->now(), cam_to_base_matrix_)) {
    base_to_cam_matrix_ = cam_to_base_matrix_.inverse();
    return true;
  }
  QLOG_ERROR("Failed to lookup transform from {} to {}", info.header.frame_id, kBaseFrame);
  return false;
}

cv::Size DepthCamera::cameraInfoImageSize() const
{
  if (image_width_ > 0 && image_height_ > 0) {
    return {image_width_, image_height_};
  }
  return {kStockImageWidth, kStockImageHeight};
}

bool DepthCamera::getTransformMatrix(
  const std::string & target, const std::string & source, const rclcpp::Time & time,
  Eigen::Matrix4f & matrix)
{
  const tf2::Duration timeout = tf2::durationFromSec(0.5);
  try {
    const auto transform = tf_buffer_->lookupTransform(
      target, source, tf2::TimePoint(std::chrono::nanoseconds(time.nanoseconds())), timeout);
    pcl_ros::transformAsMatrix(transform, matrix);
    return true;
  } catch (const tf2::TransformException & error) {
    QLOG_ERROR(
      "Transform {} to {} error of sensor data:{}, quitting callback", source, target,
      error.what());
    return false;
  }
}

bool DepthCamera::tf2Connects(
  const std::string & target, const std::string & source, int report_key, const char * stopped)
{
  if (tf_buffer_->canTransform(target, source, tf2::TimePointZero, tf2::Duration::zero())) {
    return true;
  }
  if (claimReport(report_key, TimeToDouble(node_->now()))) {
    QLOG_WARN("cam_{} tf2 has no transform from {} to {}: {}", camera_id_, source, target, stopped);
  }
  return false;
}
