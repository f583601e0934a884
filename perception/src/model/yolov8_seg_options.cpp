#include "pelorin/model/yolov8_seg_options.hpp"

#include <filesystem>
#include <sstream>
#include <stdexcept>

namespace pelorin::model {

namespace {

// Limits that keep a typo from allocating gigabytes.
constexpr int kMaxInputSide = 4096;
constexpr int kMaxDetections = 10000;
constexpr int kMaxThreads = 256;

[[noreturn]] void fail(const std::string& key, const std::string& why) {
  throw std::runtime_error("model meta key \"" + key + "\": " + why);
}

template <typename T>
T read(const YAML::Node& meta, const std::string& key, T fallback) {
  const YAML::Node node = meta[key];
  if (!node.IsDefined() || node.IsNull()) {
    return fallback;
  }
  try {
    return node.as<T>();
  } catch (const YAML::Exception& e) {
    fail(key, std::string("cannot be read: ") + e.what());
  }
}

int readInRange(const YAML::Node& meta, const std::string& key, int fallback, int low, int high) {
  const int value = read<int>(meta, key, fallback);
  if (value < low || value > high) {
    fail(key, std::to_string(value) + " is outside " + std::to_string(low) + ".." +
                  std::to_string(high));
  }
  return value;
}

float readFraction(const YAML::Node& meta, const std::string& key, float fallback,
                   bool open_interval) {
  const auto value = read<float>(meta, key, fallback);
  const bool ok = open_interval ? (value > 0.0F && value < 1.0F) : (value >= 0.0F && value <= 1.0F);
  if (!ok) {
    std::ostringstream text;
    text << value;
    fail(key, text.str() + (open_interval ? " is not strictly between 0 and 1"
                                                     : " is not between 0 and 1"));
  }
  return value;
}

}  // namespace

YOLOv8SegOptions YOLOv8SegOptions::fromMeta(const YAML::Node& meta) {
  if (!meta.IsMap()) {
    throw std::runtime_error("model meta file: the top level must be a mapping");
  }
  YOLOv8SegOptions options;
  const auto file = read<std::string>(meta, "model_file", "");
  if (file.empty()) {
    fail("model_file", "missing; it names the ONNX network");
  }
  std::filesystem::path path(file);
  const auto dir = read<std::string>(meta, kMetaFileDirKey, "");
  if (path.is_relative() && !dir.empty()) {
    path = std::filesystem::path(dir) / path;
  }
  options.model_file = path.lexically_normal().string();

  options.input_size.width = readInRange(meta, "input_width", 640, 1, kMaxInputSide);
  options.input_size.height = readInRange(meta, "input_height", 640, 1, kMaxInputSide);
  options.decode.num_classes = readInRange(meta, "num_classes", 0, 0, kMaxDetections);
  options.decode.score_threshold = readFraction(meta, "score_threshold", 0.25F, false);
  options.decode.nms_threshold = readFraction(meta, "nms_threshold", 0.45F, false);
  options.decode.mask_threshold = readFraction(meta, "mask_threshold", 0.5F, true);
  options.decode.max_detections = readInRange(meta, "max_detections", 100, 1, kMaxDetections);
  options.num_threads = readInRange(meta, "num_threads", 0, 0, kMaxThreads);
  return options;
}

}  // namespace pelorin::model
