#pragma once

#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "quorvane_object_detect/common.hpp"

// "PERSON_87" for a person box of score 0.876: the class's value name, "_"
// and the score in whole percent, truncated toward zero and held within int
// ("PERSON_2147483647" for an infinite score); "PERSON_nan" for a NaN score.
std::string detectionLabel(const BboxInfo & box);

// Where a label of `text_size` starts: the box's middle column, one text
// height below its top, kept within rows 0 .. `rows`.
cv::Point labelOrigin(const BboxInfo & box, const cv::Size & text_size, int rows);

// The "rgb8" colour image with each box's rectangle and label drawn in and its
// mask blended in the class colour.  Without boxes: the image blended with itself.
cv::Mat detectionImage(const cv::Mat & rgb, const std::vector<BboxInfo> & boxes);
