#pragma once

#include <string>

#include <opencv2/core.hpp>

#include "sensor_msgs/msg/image.hpp"

// Metres per unit of a depth image: "16UC1" and "mono16" hold millimetres,
// every other encoding metres.
double depthScale(const std::string & encoding);

// The depth image as 32-bit float metres.  Raises cv_bridge::Exception for an
// image it cannot read.
cv::Mat depthInMetres(const sensor_msgs::msg::Image::ConstSharedPtr & depth);
