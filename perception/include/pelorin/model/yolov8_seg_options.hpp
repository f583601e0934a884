#pragma once

#include <string>

#include <opencv2/core.hpp>
#include <yaml-cpp/yaml.h>

#include "pelorin/model/yolov8_seg_decode.hpp"

namespace pelorin::model {

// Key under which whoever loads the meta file records the file's folder, so
// that a relative "model_file" is found next to the meta file:
//   YAML::Node meta = YAML::LoadFile(path);
//   meta[kMetaFileDirKey] = std::filesystem::path(path).parent_path().string();
// Without it a relative "model_file" is taken from the working directory.
inline constexpr const char* kMetaFileDirKey = "meta_file_dir";

// The runner's own keys of the model meta file (all optional but "model_file"):
//   model_file      ONNX file, absolute or relative to the meta file's folder
//   input_width     network input, pixels (640)
//   input_height    network input, pixels (640)
//   num_classes     class count the network must have (0: take it from the network)
//   score_threshold minimum class score kept before NMS (0.25); keep it at or
//                   below the smallest confidence threshold the caller applies
//   nms_threshold   IoU above which a box of the same class is dropped (0.45)
//   mask_threshold  mask probability counted as inside (0.5)
//   max_detections  detections kept per image, best first (100)
//   num_threads     0 leaves OpenCV's thread count alone (default); n > 0 calls
//                   cv::setNumThreads(n), which is process-wide: every network
//                   and every OpenCV call of the process then shares n threads
struct YOLOv8SegOptions {
  std::string model_file;  // resolved path
  cv::Size input_size{640, 640};
  DecodeParams decode;
  int num_threads = 0;

  // Throws std::runtime_error naming the key for a missing, malformed or
  // out-of-range value.
  static YOLOv8SegOptions fromMeta(const YAML::Node& meta);
};

}  // namespace pelorin::model
