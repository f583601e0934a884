#include "pelorin/model/letterbox.hpp"

#include <algorithm>
#include <cmath>
#include <stdexcept>

#include <opencv2/imgproc.hpp>

namespace pelorin::model {

namespace {
// Grey of the YOLOv8 training letterbox.
const cv::Scalar kPadColour = cv::Scalar::all(114);
}  // namespace

LetterboxGeometry makeLetterboxGeometry(cv::Size image, cv::Size input) {
  if (image.width <= 0 || image.height <= 0 || input.width <= 0 || input.height <= 0) {
    throw std::invalid_argument("letterbox: image and input sizes must be positive");
  }
  const double scale = std::min(static_cast<double>(input.width) / image.width,
                                static_cast<double>(input.height) / image.height);
  LetterboxGeometry g;
  g.image = image;
  g.input = input;
  g.resized.width = std::clamp(static_cast<int>(std::lround(image.width * scale)), 1, input.width);
  g.resized.height =
      std::clamp(static_cast<int>(std::lround(image.height * scale)), 1, input.height);
  g.pad = {(input.width - g.resized.width) / 2, (input.height - g.resized.height) / 2};
  g.scale = {static_cast<double>(g.resized.width) / image.width,
             static_cast<double>(g.resized.height) / image.height};
  return g;
}

void letterboxImage(const cv::Mat& image, const LetterboxGeometry& geometry, cv::Mat& canvas) {
  if (image.size() != geometry.image || image.type() != CV_8UC3) {
    throw std::invalid_argument("letterbox: image does not match its geometry or is not 8UC3");
  }
  canvas.create(geometry.input, CV_8UC3);
  canvas.setTo(kPadColour);
  cv::Mat inner = canvas(cv::Rect(geometry.pad, geometry.resized));
  if (geometry.resized == geometry.image) {
    image.copyTo(inner);
  } else {
    cv::resize(image, inner, geometry.resized, 0.0, 0.0, cv::INTER_LINEAR);
  }
}

}  // namespace pelorin::model
