#include "quorvane_object_detect/depth_image.hpp"

#include "cv_bridge/cv_bridge.h"
#include "sensor_msgs/image_encodings.hpp"

double depthScale(const std::string & encoding)
{
  namespace enc = sensor_msgs::image_encodings;
  // The single-precision 0.001, widened, as the camera drivers' own tools scale.
  return encoding == enc::MONO16 || encoding == enc::TYPE_16UC1 ?
         static_cast<double>(0.001F) : 1.0;
}

cv::Mat depthInMetres(const sensor_msgs::msg::Image::ConstSharedPtr & depth)
{
  cv::Mat metres;
  cv_bridge::toCvShare(depth, depth->encoding)->image.convertTo(
    metres, CV_32F, depthScale(depth->encoding));
  return metres;
}
