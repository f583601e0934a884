// Line fitting along one segment: where lines start, bend and end.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <vector>

#include "segment_line_fitter.hpp"

namespace {

using pelorin::perception::ground::Candidate;
using pelorin::perception::ground::fitSegmentLines;
using pelorin::perception::ground::Line;
using pelorin::perception::ground::LineFitLimits;

constexpr int kBins = 30;
constexpr float kFirstRange = 0.5f;
constexpr float kBinLen = 0.05f;

LineFitLimits limits() {
  LineFitLimits l;
  l.max_slope = 0.2f;
  l.max_rms = 0.01f;
  l.band = 0.02f;
  l.start_up = 0.05f;
  l.start_down = 0.13f;
  l.long_gap = 0.3f;
  l.highest_floor = 0.4f;
  return l;
}

// One candidate per bin; a NaN height leaves the bin empty.
std::vector<Candidate> candidates(const std::function<float(float)>& height) {
  std::vector<Candidate> c(kBins);
  for (int b = 0; b < kBins; ++b) {
    const float r = kFirstRange + (b + 0.5f) * kBinLen;
    const float h = height(r);
    c[b].range = r;
    c[b].height = h;
    c[b].valid = !std::isnan(h);
  }
  return c;
}

struct Fit {
  std::vector<Line> lines;
  std::vector<int> line_of_bin = std::vector<int>(kBins, -2);
};

Fit fit(const std::vector<Candidate>& c, float near_floor = 0.0f) {
  Fit f;
  fitSegmentLines(c.data(), kBins, near_floor, nullptr, limits(), f.lines, f.line_of_bin.data());
  return f;
}

TEST(GroundRemovalLineFit, RampBendsIntoASecondLineFromTheLastFloorCandidate) {
  const Fit f = fit(candidates([](float r) { return r < 1.0f ? 0.0f : 0.15f * (r - 1.0f); }));
  ASSERT_EQ(f.lines.size(), 2u);
  EXPECT_NEAR(f.lines[0].slope, 0.0f, 0.02f);  // it may take a candidate of the ramp's foot
  EXPECT_NEAR(f.lines[1].slope, 0.15f, 0.01f);
  EXPECT_EQ(f.lines[1].first_bin, f.lines[0].last_bin);  // joined where the floor bends
  EXPECT_NEAR(f.lines[1].range_begin, 1.0f, 2 * kBinLen);
  EXPECT_EQ(f.lines[1].last_bin, kBins - 1);
  for (int b = 0; b < kBins; ++b) EXPECT_GE(f.line_of_bin[b], 0) << b;
}

TEST(GroundRemovalLineFit, ObstacleTopsStayOutOfTheLine) {
  // A 5 cm box over three bins, floor behind it.
  const Fit f = fit(candidates([](float r) { return r > 0.9f && r < 1.05f ? 0.05f : 0.0f; }));
  ASSERT_EQ(f.lines.size(), 1u);
  EXPECT_NEAR(f.lines[0].slope, 0.0f, 1e-3f);
  for (int b = 0; b < kBins; ++b) {
    const float r = kFirstRange + (b + 0.5f) * kBinLen;
    EXPECT_EQ(f.line_of_bin[b] < 0, r > 0.9f && r < 1.05f) << b;
  }
}

TEST(GroundRemovalLineFit, LongGapRestartsWithinTheStartBounds) {
  // Floor, a shadow of 0.5 m, then a platform 8 cm up: too high to start on.
  const Fit f = fit(candidates([](float r) {
    return r < 0.8f ? 0.0f : (r < 1.3f ? std::nanf("") : 0.08f);
  }));
  ASSERT_EQ(f.lines.size(), 1u);
  EXPECT_LT(f.lines[0].range_end, 0.8f);
}

TEST(GroundRemovalLineFit, FirstLineStartsNearTheExpectedFloor) {
  // Everything 10 cm up: nothing to start on unless the robot saw its floor there.
  const auto raised = candidates([](float) { return 0.1f; });
  EXPECT_TRUE(fit(raised).lines.empty());
  EXPECT_EQ(fit(raised, 0.1f).lines.size(), 1u);
}

TEST(GroundRemovalLineFit, FloorHeightJoinsGapsAndExtendsTheEnds) {
  std::vector<Line> lines(2);
  lines[0].slope = 0.0f, lines[0].offset = 0.0f, lines[0].range_begin = 0.5f, lines[0].range_end = 1.0f;
  lines[1].slope = 0.0f, lines[1].offset = 0.1f, lines[1].range_begin = 1.5f, lines[1].range_end = 2.0f;
  using pelorin::perception::ground::floorHeightAlong;
  EXPECT_FLOAT_EQ(floorHeightAlong(lines.data(), 2, 0.2f), 0.0f);
  EXPECT_FLOAT_EQ(floorHeightAlong(lines.data(), 2, 1.25f), 0.05f);
  EXPECT_FLOAT_EQ(floorHeightAlong(lines.data(), 2, 3.0f), 0.1f);
}

}  // namespace
