#pragma once

#include <vector>

#include <opencv2/core.hpp>

// Box and mask helpers on image pixels.  Masks are 8-bit single-channel
// images; a pixel is set when its byte is not 0.  Anything else given as a
// mask (empty, another type) holds no set pixel.  No helper reads or writes
// outside an image.

// Overlap of two axis-aligned boxes (x1, y1) - (x2, y2) as intersection over
// union, 0 to 1; 0 for disjoint, empty or non-finite boxes.  With
// inclusive_corners the corners are the first and last pixel of the box
// (a box from 3 to 3 is one pixel wide); without, (x2, y2) lies just past the
// box, as for boxes whose pixels run from x1 to x2 - 1.
float boxIou(float a_x1, float a_y1, float a_x2, float a_y2,
             float b_x1, float b_y1, float b_x2, float b_y2,
             bool inclusive_corners);

namespace pelorin::perception {
// What maskIou divides the count of common set pixels by.  A cluster
// projected into the image is a sparse scatter of pixels, so against a dense
// detection mask only the share of the cluster inside it (kOverlapOfFirst)
// says whether they are the same object; their union would drown it.
enum MaskOverlapBase : int {
  kOverlapOfFirst = 0,   // share of the first mask that the second covers
  kOverlapOfSecond = 1,  // share of the second mask that the first covers
  kOverlapOfUnion = 2,   // intersection over union
};
}  // namespace pelorin::perception

// Overlap ratio of two masks of the same size, 0 to 1 (see MaskOverlapBase
// for `base`).  0 when they share no set pixel, when their sizes differ, when
// the divisor is empty, and for an unknown base.
float maskIou(const cv::Mat& first, const cv::Mat& second, int base);

// Sets (to 255) the mask pixel of every point (x column, y row); points
// outside the mask are skipped.
void pixelToMask(const std::vector<cv::Point>& pixels, cv::Mat& mask);

// Whether the pixel at column point.x, row point.y is set; false outside.
bool isPointInMask(const cv::Mat& mask, const cv::Point& point);

// value limited to low..high, then truncated toward zero.  NaN gives low, and
// so does an empty range (high < low).
int clamp(float value, int low, int high);
