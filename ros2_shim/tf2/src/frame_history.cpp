#include "frame_history.h"

#include <algorithm>

namespace tf2
{
namespace detail
{

FrameHistory::FrameHistory(bool is_static, Duration max_age)
: is_static_(is_static), max_age_(max_age)
{
}

bool FrameHistory::insert(const FrameSample & sample)
{
  if (is_static_) {
    samples_.assign(1, sample);
    return true;
  }
  if (!samples_.empty() && samples_.back().stamp - sample.stamp > max_age_) {
    return false;
  }
  auto it = std::lower_bound(
    samples_.begin(), samples_.end(), sample.stamp,
    [](const FrameSample & s, TimePoint t) {return s.stamp < t;});
  if (it != samples_.end() && it->stamp == sample.stamp) {
    *it = sample;  // a re-sent stamp corrects the earlier value
  } else {
    samples_.insert(it, sample);
  }
  const TimePoint newest = samples_.back().stamp;
  while (newest - samples_.front().stamp > max_age_) {
    samples_.pop_front();
  }
  return true;
}

bool FrameHistory::sampleAt(TimePoint time, FrameSample & out, std::string & error) const
{
  if (samples_.empty()) {
    error = "Lookup would require extrapolation at time " + displayTimePoint(time) +
      ", but no data is in the buffer";
    return false;
  }
  if (is_static_) {
    out = samples_.front();
    out.stamp = time;
    return true;
  }
  if (time == TimePointZero) {
    out = samples_.back();
    return true;
  }
  if (samples_.size() == 1) {
    if (samples_.front().stamp == time) {
      out = samples_.front();
      return true;
    }
    error = "Lookup would require extrapolation at time " + displayTimePoint(time) +
      ", but only time " + displayTimePoint(samples_.front().stamp) + " is in the buffer";
    return false;
  }
  if (time > samples_.back().stamp) {
    error = "Lookup would require extrapolation into the future.  Requested time " +
      displayTimePoint(time) + " but the latest data is at time " +
      displayTimePoint(samples_.back().stamp);
    return false;
  }
  if (time < samples_.front().stamp) {
    error = "Lookup would require extrapolation into the past.  Requested time " +
      displayTimePoint(time) + " but the earliest data is at time " +
      displayTimePoint(samples_.front().stamp);
    return false;
  }
  auto after = std::lower_bound(
    samples_.begin(), samples_.end(), time,
    [](const FrameSample & s, TimePoint t) {return s.stamp < t;});
  if (after->stamp == time) {
    out = *after;
    return true;
  }
  const FrameSample & before = *(after - 1);
  // Re-parented between the two samples: there is nothing meaningful to blend.
  if (before.parent != after->parent) {
    out = before;
    out.stamp = time;
    return true;
  }
  const double ratio = std::chrono::duration<double>(time - before.stamp).count() /
    std::chrono::duration<double>(after->stamp - before.stamp).count();
  out.stamp = time;
  out.parent = before.parent;
  out.pose = RigidTransform::interpolate(before.pose, after->pose, ratio);
  return true;
}

TimePoint FrameHistory::latestStamp() const
{
  return (is_static_ || samples_.empty()) ? TimePointZero : samples_.back().stamp;
}

TimePoint FrameHistory::oldestStamp() const
{
  return (is_static_ || samples_.empty()) ? TimePointZero : samples_.front().stamp;
}

bool FrameHistory::latestParent(FrameId & parent) const
{
  if (samples_.empty()) {
    return false;
  }
  parent = samples_.back().parent;
  return true;
}

}  // namespace detail
}  // namespace tf2
