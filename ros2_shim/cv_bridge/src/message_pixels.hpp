#pragma once

#include <opencv2/core.hpp>

#include "sensor_msgs/msg/image.hpp"

namespace cv_bridge
{
namespace detail
{

/// The pixels of a message as an OpenCV matrix of its own encoding.
struct MessagePixels
{
  cv::Mat image;
  // True when `image` points into the message's data rather than owning a copy.
  bool shares_message = false;
};

/// Checks the message's size fields against its data (throws
/// cv_bridge::Exception when they disagree) and wraps or copies the pixels.
/// Rows whose step OpenCV cannot express, and data of the other byte order,
/// are copied into a compact host-order matrix.
MessagePixels messagePixels(const sensor_msgs::msg::Image & source);

}  // namespace detail
}  // namespace cv_bridge
