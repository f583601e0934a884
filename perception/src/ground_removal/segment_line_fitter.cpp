#include "segment_line_fitter.hpp"

#include <algorithm>
#include <array>
#include <cmath>

namespace pelorin::perception::ground {
namespace {

// Candidates off a line that, together, make the next line.
constexpr std::size_t kBendCandidates = 3;

// Running least-squares sums of (range, height) pairs.  Ranges are taken
// relative to the first pair so the sums stay well conditioned.
class LineSums {
 public:
  void clear() { n_ = 0; }
  int count() const { return n_; }

  void add(float range, float height) {
    if (n_ == 0) {
      r0_ = range;
      sr_ = sz_ = srr_ = srz_ = szz_ = 0.0;
    }
    const double r = static_cast<double>(range) - r0_;
    const double z = height;
    ++n_;
    sr_ += r;
    sz_ += z;
    srr_ += r * r;
    srz_ += r * z;
    szz_ += z * z;
  }

  // Slope and offset of the fit (offset at range 0 of the base frame) and
  // the RMS residual.  With a degenerate spread of ranges the line is level.
  void solve(double& slope, double& offset, double& rms) const {
    const double n = n_;
    const double denominator = n * srr_ - sr_ * sr_;
    slope = denominator > 1e-12 ? (n * srz_ - sr_ * sz_) / denominator : 0.0;
    const double local_offset = (sz_ - slope * sr_) / n;
    const double sse = szz_ - 2.0 * slope * srz_ - 2.0 * local_offset * sz_ +
                       slope * slope * srr_ + 2.0 * slope * local_offset * sr_ +
                       n * local_offset * local_offset;
    rms = std::sqrt(sse > 0.0 ? sse / n : 0.0);
    offset = local_offset - slope * r0_;
  }

  double meanHeight() const { return sz_ / n_; }

 private:
  int n_ = 0;
  double r0_ = 0.0;
  double sr_ = 0.0, sz_ = 0.0, srr_ = 0.0, srz_ = 0.0, szz_ = 0.0;
};

class SegmentFitter {
 public:
  SegmentFitter(const Candidate* candidates, int bins, float floor_height, const float* expected,
                const LineFitLimits& limits, std::vector<Line>& lines, int* line_of_bin)
      : c_(candidates), bins_(bins), floor_height_(floor_height), expected_(expected), limits_(limits),
        lines_(lines), line_of_bin_(line_of_bin), first_new_line_(lines.size()) {}

  void run() {
    for (int b = 0; b < bins_; ++b) {
      line_of_bin_[b] = -1;
    }
    for (int b = 0; b < bins_; ++b) {
      if (c_[b].valid && c_[b].height <= limits_.highest_floor) {
        take(b);
      }
    }
    close();
  }

 private:
  void take(int b) {
    const Candidate& c = c_[b];
    if (sums_.count() > 0 && c.range - c_[last_bin_].range > limits_.long_gap) {
      close();
    }
    if (sums_.count() == 0) {
      tryStart(b);
      return;
    }
    if (sums_.count() == 1) {
      const Candidate& c0 = c_[first_bin_];
      const float run = c.range - c0.range;
      const float slope = run > 0.0f ? (c.height - c0.height) / run : 0.0f;
      // A line of two has no direction to judge by yet: the second candidate
      // must also sit near the floor the neighbours see there, if they do.
      if (std::fabs(slope) <= limits_.max_slope && nearNeighbourFloor(b)) {
        join(b);
      } else if (c.height < c0.height && mayStartAt(b)) {
        // The lone first candidate was the top of something low: start over.
        discard();
        start(b);
      }
      return;
    }
    double slope = 0.0, offset = 0.0, rms = 0.0;
    sums_.solve(slope, offset, rms);
    const double deviation = c.height - (slope * c.range + offset);
    if (std::fabs(deviation) <= point_tolerance_) {
      LineSums trial = sums_;
      trial.add(c.range, c.height);
      trial.solve(slope, offset, rms);
      if (std::fabs(slope) <= limits_.max_slope && rms <= limits_.max_rms) {
        sums_ = trial;
        join(b);
        pending_.clear();
        return;
      }
    }
    // Off the line: an obstacle, or the floor bending.  It bends when the
    // next few candidates form a floor line of their own that starts where
    // this one ends.
    pending_.push(b);
    if (!pending_.full()) {
      return;
    }
    if (pendingContinuesLine()) {
      bend();
    } else {
      pending_.dropOldest();
    }
  }

  bool pendingContinuesLine() const {
    LineSums sums;
    for (const int p : pending_) {
      sums.add(c_[p].range, c_[p].height);
    }
    double slope = 0.0, offset = 0.0, rms = 0.0;
    sums.solve(slope, offset, rms);
    const Candidate& last = c_[last_bin_];
    return std::fabs(slope) <= limits_.max_slope && rms <= limits_.max_rms &&
           std::fabs(slope * last.range + offset - last.height) <= limits_.band;
  }

  void bend() {
    const int last = last_bin_;
    const Pending next = pending_;  // close() forgets the pending candidates
    close();
    sums_.add(c_[last].range, c_[last].height);
    first_bin_ = last_bin_ = last;
    for (const int p : next) {
      sums_.add(c_[p].range, c_[p].height);
      last_bin_ = p;
      line_of_bin_[p] = pendingIndex();
    }
  }

  int pendingIndex() const { return static_cast<int>(lines_.size()); }

  float expectedFloor(int b) const {
    if (expected_ != nullptr && !std::isnan(expected_[b])) {
      return expected_[b];
    }
    return lines_.size() > first_new_line_ ? lines_.back().heightAt(c_[b].range) : floor_height_;
  }

  bool nearNeighbourFloor(int b) const {
    if (expected_ == nullptr || std::isnan(expected_[b])) {
      return true;
    }
    const float d = c_[b].height - expected_[b];
    return d <= limits_.start_up && d >= -limits_.start_down;
  }

  bool mayStartAt(int b) const {
    const float d = c_[b].height - expectedFloor(b);
    return d <= limits_.start_up && d >= -limits_.start_down;
  }

  void tryStart(int b) {
    if (mayStartAt(b)) {
      start(b);
    }
  }

  void start(int b) {
    sums_.clear();
    sums_.add(c_[b].range, c_[b].height);
    first_bin_ = last_bin_ = b;
    line_of_bin_[b] = pendingIndex();
  }

  void join(int b) {
    if (sums_.count() == 1) {
      sums_.add(c_[b].range, c_[b].height);
    }
    last_bin_ = b;
    line_of_bin_[b] = pendingIndex();
  }

  void discard() {
    for (int b = first_bin_; b <= last_bin_; ++b) {
      if (line_of_bin_[b] == pendingIndex()) {
        line_of_bin_[b] = -1;
      }
    }
    sums_.clear();
  }

  void close() {
    pending_.clear();
    if (sums_.count() < 2) {
      if (sums_.count() == 1) {
        discard();
      }
      return;
    }
    double slope = 0.0, offset = 0.0, rms = 0.0;
    sums_.solve(slope, offset, rms);
    if (std::fabs(slope) < limits_.min_slope) {
      slope = 0.0;
      offset = sums_.meanHeight();
    }
    Line line;
    line.slope = static_cast<float>(slope);
    line.offset = static_cast<float>(offset);
    line.first_bin = first_bin_;
    line.last_bin = last_bin_;
    line.range_begin = c_[first_bin_].range;
    line.range_end = c_[last_bin_].range;
    lines_.push_back(line);
    sums_.clear();
  }

  const Candidate* c_;
  const int bins_;
  const float floor_height_;
  const float* expected_;
  const LineFitLimits& limits_;
  std::vector<Line>& lines_;
  int* line_of_bin_;
  const std::size_t first_new_line_;
  const float point_tolerance_ = std::min(limits_.max_rms, limits_.band);
  LineSums sums_;
  // Candidates off the current line, oldest first; a fixed few, so fitting
  // allocates nothing.
  class Pending {
   public:
    void clear() { n_ = 0; }
    bool full() const { return n_ == kBendCandidates; }
    void push(int b) { bins_[n_++] = b; }
    void dropOldest() {
      for (std::size_t i = 1; i < n_; ++i) bins_[i - 1] = bins_[i];
      --n_;
    }
    const int* begin() const { return bins_.data(); }
    const int* end() const { return bins_.data() + n_; }

   private:
    std::array<int, kBendCandidates> bins_{};
    std::size_t n_ = 0;
  };
  Pending pending_;
  int first_bin_ = 0;
  int last_bin_ = 0;
};

}  // namespace

void fitSegmentLines(const Candidate* candidates, int bins, float floor_height, const float* expected,
                     const LineFitLimits& limits, std::vector<Line>& lines, int* line_of_bin) {
  SegmentFitter(candidates, bins, floor_height, expected, limits, lines, line_of_bin).run();
}

bool floorHeightOnLine(const Line* lines, int count, float range, float& height) {
  for (int i = 0; i < count; ++i) {
    if (range >= lines[i].range_begin && range <= lines[i].range_end) {
      height = lines[i].heightAt(range);
      return true;
    }
  }
  return false;
}

float floorHeightAlong(const Line* lines, int count, float range) {
  if (range <= lines[0].range_begin) {
    return lines[0].heightAt(lines[0].range_begin);
  }
  for (int i = 0; i < count; ++i) {
    const Line& line = lines[i];
    if (range <= line.range_end) {
      if (range >= line.range_begin || i == 0) {
        return line.heightAt(range);
      }
      // Between two lines: join the end of one to the start of the next.
      const Line& before = lines[i - 1];
      const float h0 = before.heightAt(before.range_end);
      const float h1 = line.heightAt(line.range_begin);
      const float span = line.range_begin - before.range_end;
      const float t = span > 0.0f ? (range - before.range_end) / span : 1.0f;
      return h0 + t * (h1 - h0);
    }
  }
  return lines[count - 1].heightAt(range);
}

}  // namespace pelorin::perception::ground
