#pragma once

#include <vector>

#include "polar_grid.hpp"
#include "segment_line_fitter.hpp"

namespace pelorin::perception::ground {

// The floor lines of every segment of one frame and the floor height they
// give under any point.  Buffers are kept between frames.
class FloorLines {
 public:
  void reset(const PolarGrid& grid);

  // Fits the lines of every segment to the candidates (cell s * bins + b);
  // `near_floor` is the floor expected in front of the robot.
  void fit(const std::vector<Candidate>& candidates, const LineFitLimits& limits, float near_floor);

  // Floor height under a point and where the first line of its segment
  // starts.  A segment's lines count as knowing the floor up to `known`
  // outside their span; `fallback` is the height when no segment has a line.
  void floorAt(float position, float range, float known, float fallback, float& height,
               float& front) const;

  // Lines of segment s: indices [begin(s), begin(s + 1)) into lines().
  int begin(int s) const { return segment_lines_[static_cast<std::size_t>(s)]; }
  const std::vector<Line>& lines() const { return lines_; }
  // Index of the line the candidate of a cell joined, or -1.
  int lineOfCell(std::size_t cell) const { return line_of_cell_[cell]; }

 private:
  struct SegmentFloor {
    bool found = false;
    float height = 0.0f;
    float front = 0.0f;    // where the first line starts
    float distance = 0.0f; // of the range from the lines' span; infinite for a stand-in
  };

  void fitAllSegments(const std::vector<Candidate>& candidates, const LineFitLimits& limits,
                      float near_floor, const float* expected);
  void expectFromNeighbours(const std::vector<Candidate>& candidates);
  void chooseStandIns();
  SegmentFloor segmentFloor(int s, float range) const;

  PolarGrid grid_;
  std::vector<Line> lines_;
  std::vector<int> segment_lines_;
  std::vector<int> line_of_cell_;
  std::vector<float> expected_;  // per cell: floor height the neighbours saw, NaN unknown
  std::vector<int> stand_in_;    // segment whose lines serve segment s, -1 none
};

}  // namespace pelorin::perception::ground
