#pragma once

#include <vector>

namespace pelorin::perception::ground {

// The floor sample of one range bin.
struct Candidate {
  float range = 0.0f;   // horizontal distance from the base origin
  float height = 0.0f;  // z
  float x = 0.0f;
  float y = 0.0f;
  float spread = 0.0f;  // standard deviation of the floor's heights in the bin
  bool valid = false;
};

// A floor line of one segment: height = slope * range + offset, fitted over
// the candidates of bins first_bin .. last_bin.
struct Line {
  float slope = 0.0f;
  float offset = 0.0f;
  float range_begin = 0.0f;
  float range_end = 0.0f;
  int first_bin = 0;
  int last_bin = 0;

  float heightAt(float range) const { return slope * range + offset; }
};

struct LineFitLimits {
  float min_slope = 0.0f;     // flatter lines are levelled
  float max_slope = 0.0f;
  float max_rms = 0.0f;       // RMS residual of a line's candidates
  float band = 0.0f;          // candidates further above the line are obstacles
  float start_up = 0.0f;      // start bounds around the expected floor
  float start_down = 0.0f;
  float long_gap = 0.0f;      // a longer gap between candidates ends a line
  float highest_floor = 0.0f; // candidates above it are never floor
};

// Fits the lines of one segment from its candidates (`bins` of them, in order
// of range) and appends them to `lines` in order of range.  `line_of_bin`
// (bins entries) receives, per candidate, the index in `lines` of the line it
// joined, or -1.  A line starts near the floor expected there: `expected`
// (bins entries, may be null; NaN where unknown) as the neighbouring segments
// see it, else the previous line extended, else `floor_height`.
void fitSegmentLines(const Candidate* candidates, int bins, float floor_height, const float* expected,
                     const LineFitLimits& limits, std::vector<Line>& lines, int* line_of_bin);

// Whether `range` lies within the span of one of the lines; if so, the
// floor height there.
bool floorHeightOnLine(const Line* lines, int count, float range, float& height);

// Floor height at `range` from the lines of one segment (count > 0, in order
// of range): the lines themselves, straight joins across gaps, the first
// line's start height in front of it and the last line extended behind it.
float floorHeightAlong(const Line* lines, int count, float range);

}  // namespace pelorin::perception::ground
