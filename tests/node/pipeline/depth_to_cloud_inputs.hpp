// Inputs of the depth-to-cloud tests: an image message holding a cv::Mat's
// pixels, and a region of interest.
#pragma once

#include <cstring>
#include <memory>
#include <string>

#include <opencv2/core.hpp>

#include "quorvane_object_detect/cloud.hpp"
#include "sensor_msgs/msg/image.hpp"

inline std::shared_ptr<const sensor_msgs::msg::Image> message(
  const cv::Mat & image, const std::string & encoding)
{
  auto msg = std::make_shared<sensor_msgs::msg::Image>();
  msg->encoding = encoding;
  msg->width = static_cast<uint32_t>(image.cols);
  msg->height = static_cast<uint32_t>(image.rows);
  msg->step = static_cast<uint32_t>(image.cols * image.elemSize());
  msg->data.resize(static_cast<std::size_t>(msg->step) * image.rows);
  for (int row = 0; row < image.rows; ++row) {
    std::memcpy(&msg->data[row * msg->step], image.ptr(row), msg->step);
  }
  return msg;
}

inline BboxInfo region(int x1, int y1, int x2, int y2, cv::Mat mask = cv::Mat())
{
  BboxInfo box;
  box.x1 = x1;
  box.y1 = y1;
  box.x2 = x2;
  box.y2 = y2;
  box.mask = mask;
  return box;
}
