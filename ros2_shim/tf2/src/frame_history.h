#ifndef TF2_SRC_FRAME_HISTORY_H_
#define TF2_SRC_FRAME_HISTORY_H_

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>

#include "rigid_transform.h"
#include "tf2/time.h"

namespace tf2
{
namespace detail
{

using FrameId = std::uint32_t;

// One received transform of a child frame: its parent and its pose in that parent.
struct FrameSample
{
  TimePoint stamp;
  FrameId parent = 0;
  RigidTransform pose;
};

// Everything known about one child frame over time.  A static frame keeps a single
// sample that holds at every time; a moving frame keeps the samples of the last
// `max_age` (measured back from its newest sample) and interpolates between them.
class FrameHistory
{
public:
  FrameHistory(bool is_static, Duration max_age);

  bool isStatic() const {return is_static_;}

  // False when the sample is older than the span kept (it would be dropped at once).
  bool insert(const FrameSample & sample);

  // The sample at `time` (zero: the newest).  On failure `error` says why, naming
  // the times involved; the caller adds the frames.
  bool sampleAt(TimePoint time, FrameSample & out, std::string & error) const;

  // Zero for static frames and for empty histories: neither limits the common time.
  TimePoint latestStamp() const;
  TimePoint oldestStamp() const;
  // Parent at the newest sample; false when nothing is stored.
  bool latestParent(FrameId & parent) const;
  std::size_t size() const {return samples_.size();}
  void clear() {samples_.clear();}

private:
  bool is_static_;
  Duration max_age_;
  std::deque<FrameSample> samples_;  // ascending stamps
};

}  // namespace detail
}  // namespace tf2

#endif  // TF2_SRC_FRAME_HISTORY_H_
