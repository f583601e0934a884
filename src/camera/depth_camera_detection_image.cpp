#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include <opencv2/imgproc.hpp>

#include "cv_bridge/cv_bridge.h"
#include "quorvane_object_detect/depth_camera.hpp"
#include "quorvane_object_detect/detection_image.hpp"
#include "quorvane_object_detect/semantic_type.hpp"

namespace
{

constexpr int kFont = cv::FONT_HERSHEY_SIMPLEX;
constexpr double kFontScale = 0.8;
constexpr int kTextThickness = 2;

}  // namespace

std::string detectionLabel(const BboxInfo & box)
{
  const std::string name = semantic::SemanticTypeName(box.class_id) + "_";
  // NaN scores pass the confidence filter, and a model may give any value:
  // an int cannot hold every percentage.
  const float percent = box.score * 100.0F;
  if (std::isnan(percent)) {
    return name + "nan";
  }
  const double whole = std::clamp<double>(
    percent, std::numeric_limits<int>::min(), std::numeric_limits<int>::max());
  return name + std::to_string(static_cast<int>(whole));
}

cv::Point labelOrigin(const BboxInfo & box, const cv::Size & text_size, int rows)
{
  return {(box.x1 + box.x2) / 2, std::clamp(box.y1 + text_size.height, 0, rows)};
}

cv::Mat detectionImage(const cv::Mat & rgb, const std::vector<BboxInfo> & boxes)
{
  cv::Mat drawn = rgb.clone();
  cv::Mat masks = rgb.clone();
  for (const BboxInfo & box : boxes) {
    cv::rectangle(
      drawn, cv::Point(box.x1, box.y1), cv::Point(box.x2, box.y2), cv::Scalar(0, 0, 255), 4,
      cv::LINE_8);
    const std::string label = detectionLabel(box);
    int baseline = 0;
    const cv::Size text = cv::getTextSize(label, kFont, kFontScale, kTextThickness, &baseline);
    cv::putText(
      drawn, label, labelOrigin(box, text, drawn.rows), kFont, kFontScale, cv::Scalar(255, 0, 0),
      kTextThickness, cv::LINE_8, false);
    // A missing mask would paint the whole image, one of another size cannot stencil it.
    if (box.mask.size() != masks.size()) {
      continue;
    }
    // class_id mod 20, kept an index for a negative id too.
    const std::vector<int> & colour =
      kColorPalette20[static_cast<std::size_t>(box.class_id % 20 + 20) % 20];
    masks.setTo(cv::Scalar(colour[0], colour[1], colour[2]), box.mask);
  }
  cv::addWeighted(drawn, 0.5, masks, 0.8, 1.0, drawn);
  return drawn;
}

void DepthCamera::publishDetectionImage(const FrameContext & frame)
{
  if (!matched_rgb_msg_) {
    return;
  }
  detect_bbox_image_pub_->publish(
    *cv_bridge::CvImage(
      std_msgs::msg::Header(), "rgb8",
      detectionImage(frame.rgb, frame.detection.bboxs_info)).toImageMsg());
}
