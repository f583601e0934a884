#pragma once

#include <vector>

#include "pelorin/model/model_box_info.hpp"
#include "quorvane_object_detect/common.hpp"
#include "quorvane_object_detect/semantic_type.hpp"

// Appends to `kept` the raw detections whose score reaches the confidence
// threshold of their label (a threshold above the score drops one), as boxes
// of class values with their corners truncated toward zero and clipped to
// the image (`image_size`), so later stages never index past it.  Labels past the
// class mapping give class 0; past the thresholds, threshold 0.  Each
// decision is logged for camera `camera_id`.
void keepConfidentDetections(
  const std::vector<pelorin::model::ModelBoxInfo> & raw, const semantic::AiConfig & config,
  const cv::Size & image_size, int camera_id, std::vector<BboxInfo> & kept);
