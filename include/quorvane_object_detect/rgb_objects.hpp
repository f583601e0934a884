#pragma once

#include <array>
#include <vector>

#include <Eigen/Core>
#include <opencv2/core.hpp>

#include "pelorin/perception/records.hpp"
#include "quorvane_object_detect/common.hpp"
#include "quorvane_protocol/msg/object_list.hpp"

// z of the floor plane in the base frame the colour camera places people on.
constexpr float kRgbGroundHeight = -0.11F;

// Where each pixel's viewing ray meets the floor, in the base frame, for a
// `width` x `height` image of a camera with `intrinsics` (fx, fy, cx, cy)
// mounted at `cam_to_base`.  Floor points behind the camera, and rays that
// never reach the floor, are (1000, 1000, floor).
pelorin::perception::RgbDetector groundTable(
  const std::array<float, 4> & intrinsics, const Eigen::Matrix4f & cam_to_base, int width,
  int height);

// The pixel of `table` a box stands on: the middle of its bottom edge, kept
// within the table.
cv::Point footPixel(const BboxInfo & box, const pelorin::perception::RgbDetector & table);

// Every person box as an object standing on its foot point, in the base frame
// at `time`, sourced from the colour camera of camera `camera_id`.
quorvane_protocol::msg::ObjectList rgbObjectList(
  const std::vector<BboxInfo> & boxes, const pelorin::perception::RgbDetector & table,
  int camera_id, double time);
