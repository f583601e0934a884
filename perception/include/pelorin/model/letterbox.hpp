#pragma once

#include <opencv2/core.hpp>

namespace pelorin::model {

// How an image was fitted into the network input: scaled with its aspect kept,
// then centred on a grey canvas.
struct LetterboxGeometry {
  cv::Size image;        // original image size
  cv::Size input;        // network input size
  cv::Size resized;      // size of the scaled image inside the input
  cv::Point pad;         // left and top padding, input pixels
  cv::Point2d scale;     // input pixels per image pixel, per axis
};

// Geometry for an image of the given size; throws std::invalid_argument for
// empty sizes.
LetterboxGeometry makeLetterboxGeometry(cv::Size image, cv::Size input);

// Writes the letterboxed image (8-bit, three channels, padding 114) into
// `canvas`, reallocating it only when its size or type differ.
void letterboxImage(const cv::Mat& image, const LetterboxGeometry& geometry, cv::Mat& canvas);

}  // namespace pelorin::model
