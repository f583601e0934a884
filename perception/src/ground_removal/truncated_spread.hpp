#pragma once

namespace pelorin::perception::ground {

// Standard deviation of normally distributed values, from the standard
// deviation of those of them that fall within +-half_width of the mean.  A
// window much narrower than the spread saturates (the values fill it evenly);
// the result is then capped at four half widths.
float spreadFromWindow(float window_sd, float half_width);

}  // namespace pelorin::perception::ground
