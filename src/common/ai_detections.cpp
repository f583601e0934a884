#include "quorvane_object_detect/ai_detections.hpp"

#include <cstdint>

#include "quorvane_object_detect/logger.hpp"

#define INFERENCE_LOG(level, ...) QLOG_AS("aiInference", level, __VA_ARGS__)

void keepConfidentDetections(
  const std::vector<pelorin::model::ModelBoxInfo> & raw, const semantic::AiConfig & config,
  const cv::Size & image_size, int camera_id, std::vector<BboxInfo> & kept)
{
  // Clipped before the cast: a NaN or huge corner must not reach it.
  const auto corner = [](float value, int limit) {
      if (!(value > 0.0F)) {
        return 0;
      }
      return value >= static_cast<float>(limit) ? limit : static_cast<int32_t>(value);
    };
  const auto & mapping = config.class_mapping;
  const auto & thresholds = config.confidence_threshold;
  for (const auto & box : raw) {
    const auto label = static_cast<uint32_t>(box.label);
    const int32_t class_id = label < mapping.size() ? mapping[label] : 0;
    const double threshold = label < thresholds.size() ? thresholds[label] : 0.0;
    const double score = static_cast<double>(box.score);
    // NaN on either side passes.
    if (threshold > score) {
      INFERENCE_LOG(
        spdlog::level::debug,
        "cam_{0:d} : class={1:s}, score={2:03.2f}, conf={3:03.2f}, thus filtered", camera_id,
        semantic::SemanticTypeName(class_id), score, threshold);
      continue;
    }
    BboxInfo detection;
    detection.x1 = corner(box.x, image_size.width);
    detection.y1 = corner(box.y, image_size.height);
    detection.x2 = corner(box.x + box.w, image_size.width);
    detection.y2 = corner(box.y + box.h, image_size.height);
    detection.mask = box.mask;
    detection.score = box.score;
    detection.class_id = class_id;
    kept.push_back(detection);
    INFERENCE_LOG(
      spdlog::level::debug,
      "cam_{0:d} : class={1:s}, score={2:03.2f}, x1={3:d}, y1={4:d}, x2={5:d}, y2={6:d}",
      camera_id, semantic::SemanticTypeName(class_id), box.score, detection.x1, detection.y1,
      detection.x2, detection.y2);
  }
}
