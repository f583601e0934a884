#pragma once

#include <cstdint>

#include <opencv2/core.hpp>

namespace pelorin::model {

// One detection of a segmentation model, in pixels of the image given to it.
struct ModelBoxInfo {
  float x = 0.0F;  // left edge
  float y = 0.0F;  // top edge
  float w = 0.0F;
  float h = 0.0F;
  int32_t label = 0;  // the model's class index
  float score = 0.0F;
  // 8-bit, one channel, the size of the image; non-zero inside the instance
  // (only within the box), so callers index it by absolute row and column.
  cv::Mat mask;
};

}  // namespace pelorin::model
