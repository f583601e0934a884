#pragma once

#include <cmath>

namespace pelorin::perception::ground {

// Angular segments around the base origin and range bins along each segment.
// Segment s covers bearings [-pi + s * width, -pi + (s + 1) * width).
struct PolarGrid {
  int segments = 0;
  int bins = 0;
  float segment_width = 0.0f;  // radians
  float bin_len = 0.0f;
  float min_range = 0.0f;
  float max_range = 0.0f;

  // Segment position of a bearing in [-pi, pi]: integer part = segment,
  // fraction = place inside it.
  float segmentPosition(float bearing) const {
    return (bearing + static_cast<float>(M_PI)) / segment_width;
  }

  int segmentOf(float position) const {
    const int s = static_cast<int>(position);
    return s >= segments ? segments - 1 : (s < 0 ? 0 : s);
  }

  // Bin of a range, or -1 outside [min_range, max_range).
  int binOf(float range) const {
    if (!(range >= min_range) || !(range < max_range)) {
      return -1;
    }
    const int b = static_cast<int>((range - min_range) / bin_len);
    return b < bins ? b : bins - 1;
  }

  // Bin of a range, clamped to the first and last bin.
  int nearestBin(float range) const {
    const float b = (range - min_range) / bin_len;
    return b < 0.0f ? 0 : (b >= static_cast<float>(bins) ? bins - 1 : static_cast<int>(b));
  }

  int wrap(int segment) const {
    const int s = segment % segments;
    return s < 0 ? s + segments : s;
  }
};

}  // namespace pelorin::perception::ground
