#pragma once

// The earlier depth a point is judged against, read where it is needed
// instead of eroding every frame.

#include <opencv2/core.hpp>

namespace pelorin
{
namespace perception
{

// Minimum depth (CV_32FC1) in the (2 radius + 1)-square window around
// (row, col), clipped to the image; 0 when the window holds a hole (0, NaN,
// negative or infinite depth): a point near a hole or a depth edge finds no
// evidence there.  A negative radius counts as 0.
float WindowMinDepth(const cv::Mat& depth, int row, int col, int radius);

}  // namespace perception
}  // namespace pelorin
