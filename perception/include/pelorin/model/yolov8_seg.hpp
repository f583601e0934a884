#pragma once

#include <mutex>
#include <vector>

#include <opencv2/core.hpp>
#include <opencv2/dnn.hpp>
#include <yaml-cpp/yaml.h>

#include "pelorin/model/letterbox.hpp"
#include "pelorin/model/model_box_info.hpp"
#include "pelorin/model/yolov8_seg_options.hpp"

namespace pelorin::model {

// YOLOv8-seg instance segmentation on OpenCV DNN (CPU). The ONNX file must be
// one OpenCV 4.5/4.6 can run: prepare exports with tools/prepare_model.py.
//
// Construction reads the meta keys of YOLOv8SegOptions, loads the network and
// runs it once on a blank input, so a missing or unreadable model file, or
// outputs that are not a YOLOv8-seg head, throw std::runtime_error (naming the
// file and the shapes) at start-up rather than on the first frame.
//
// Calls on one object are serialised by a mutex; separate objects run in
// parallel.
class YOLOv8Seg {
 public:
  struct PreparedInput {
    cv::Mat blob;  // [1, 3, H, W] float RGB in 0..1
    LetterboxGeometry geometry;
  };
  struct NetworkOutputs {
    cv::Mat head;        // [1, 4 + classes + coeffs, anchors] or its transpose
    cv::Mat prototypes;  // [1, coeffs, H / 4, W / 4]
  };

  explicit YOLOv8Seg(const YAML::Node& meta);
  virtual ~YOLOv8Seg();

  YOLOv8Seg(const YOLOv8Seg&) = delete;
  YOLOv8Seg& operator=(const YOLOv8Seg&) = delete;

  // Appends one record per detection after NMS, best first, in pixels of `rgb`
  // ("rgb8": 8-bit, three channels, R first). An empty image, or one of any
  // other type, yields no detections: the camera pipeline must not stop on
  // one odd frame.
  virtual void Inference(const cv::Mat& rgb, std::vector<ModelBoxInfo>& out);

  // The three stages of Inference, public so that they can be timed apart.
  // preprocess throws std::invalid_argument for an empty or non-8UC3 image;
  // forward throws std::runtime_error when the outputs are not a head and
  // prototypes, postprocess when their shapes do not fit together.
  PreparedInput preprocess(const cv::Mat& rgb) const;
  NetworkOutputs forward(const cv::Mat& blob);
  std::vector<ModelBoxInfo> postprocess(const NetworkOutputs& outputs,
                                        const LetterboxGeometry& geometry) const;

  const YOLOv8SegOptions& options() const { return options_; }

 private:
  YOLOv8SegOptions options_;
  cv::dnn::Net net_;
  std::vector<cv::String> output_names_;
  std::mutex net_mutex_;
};

}  // namespace pelorin::model
