#pragma once

#include <opencv2/core.hpp>

#include "scene/camera.hpp"

namespace scene::detail
{

// The camera's noise and holes on a CV_32FC1 depth image of time t.  Each
// pixel draws from a hash of seed, time and its index: the same frame gets
// the same noise whatever else is in view.
void addDepthNoise(cv::Mat & depth, const Camera & camera, double t);

}  // namespace scene::detail
