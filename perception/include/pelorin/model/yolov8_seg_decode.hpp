#pragma once

#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "pelorin/model/letterbox.hpp"
#include "pelorin/model/model_box_info.hpp"

namespace pelorin::model {

struct DecodeParams {
  int num_classes = 0;  // 0: derived from the tensor shapes
  float score_threshold = 0.25F;
  float nms_threshold = 0.45F;  // IoU above which a same-class box is suppressed
  float mask_threshold = 0.5F;  // on the sigmoid of the mask logits
  int max_detections = 100;
};

// Where the per-anchor values sit in the head tensor: exports write either
// [1, 4 + classes + coeffs, anchors] or its transpose.
struct HeadLayout {
  int num_classes = 0;
  int num_coeffs = 0;
  int num_anchors = 0;
  bool anchors_first = false;  // [1, anchors, channels]
};

// Checks the two network outputs, the head (3-D) and the mask prototypes
// [1, coeffs, H, W], and works out the head layout. Throws std::runtime_error
// naming both shapes when they do not fit a YOLOv8-seg head (`num_classes` 0
// accepts any class count).
HeadLayout resolveHeadLayout(const cv::Mat& head, const cv::Mat& prototypes, int num_classes);

// "[1x116x8400]"
std::string shapeText(const cv::Mat& tensor);

// Turns the raw outputs of one letterboxed image into detections in original
// image pixels: best class per anchor, score threshold, class-wise NMS, boxes
// clipped to the image, full-image masks cropped to their box. Sorted by
// descending score, at most `max_detections`.
std::vector<ModelBoxInfo> decodeYolov8Seg(const cv::Mat& head, const cv::Mat& prototypes,
                                          const LetterboxGeometry& geometry,
                                          const DecodeParams& params);

}  // namespace pelorin::model
