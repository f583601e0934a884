// Chain resolution: walk the source and the target frame up to their common
// ancestor and compose the links met on the way.
#include <algorithm>
#include <string>
#include <vector>

#include "frame_history.h"
#include "rigid_transform.h"
#include "tf2/buffer_core.h"

namespace tf2
{

namespace
{

using detail::FrameHistory;
using detail::FrameId;
using detail::RigidTransform;
using Histories = std::vector<std::unique_ptr<FrameHistory>>;

// The newest time every moving link so far has data for; zero means no moving link.
TimePoint earliestOf(TimePoint a, TimePoint b)
{
  if (a == TimePointZero) {
    return b;
  }
  if (b == TimePointZero) {
    return a;
  }
  return std::min(a, b);
}

struct Hop
{
  FrameId frame;
  RigidTransform start_in_frame;  // maps points of the start frame into `frame`
  TimePoint newest;  // earliestOf() the newest stamps of the links below `frame`
};

struct Walk
{
  std::vector<Hop> hops;
  std::string error;  // why the walk stopped early, empty at a root
  bool loop = false;
};

// Climbs from `start` until `stop` holds, a root is reached or a link has no data
// at `time`.
template<typename StopPredicate>
Walk walkUp(const Histories & frames, FrameId start, TimePoint time, StopPredicate stop)
{
  Walk walk;
  walk.hops.push_back(Hop{start, RigidTransform{}, TimePointZero});
  while (!stop(walk.hops.back().frame)) {
    const Hop & current = walk.hops.back();
    const FrameHistory * history = frames[current.frame].get();
    if (history == nullptr) {
      break;
    }
    detail::FrameSample sample;
    if (!history->sampleAt(time, sample, walk.error)) {
      break;
    }
    if (walk.hops.size() > BufferCore::MAX_GRAPH_DEPTH) {
      walk.loop = true;
      break;
    }
    walk.hops.push_back(
      Hop{sample.parent, sample.pose * current.start_in_frame,
        earliestOf(current.newest, history->latestStamp())});
  }
  return walk;
}

const Hop * findHop(const Walk & walk, FrameId frame)
{
  for (const Hop & hop : walk.hops) {
    if (hop.frame == frame) {
      return &hop;
    }
  }
  return nullptr;
}

}  // namespace

TF2Error BufferCore::resolveChain(
  CompactFrameID target_id, CompactFrameID source_id, TimePoint time,
  RigidTransform & transform, TimePoint & newest_common, std::string & error) const
{
  const Walk source = walkUp(
    frames_, source_id, time, [target_id](FrameId f) {return f == target_id;});
  const Walk target = walkUp(
    frames_, target_id, time, [&source](FrameId f) {return findHop(source, f) != nullptr;});

  const Hop & target_top = target.hops.back();
  const Hop * common = findHop(source, target_top.frame);
  if (common != nullptr) {
    transform = target_top.start_in_frame.inverse() * common->start_in_frame;
    newest_common = earliestOf(common->newest, target_top.newest);
    return TF2Error::TF2_NO_ERROR;
  }
  const std::string & why = target.error.empty() ? source.error : target.error;
  if (!why.empty()) {
    error = why + ", when looking up transform from frame [" + frame_names_[source_id] +
      "] to frame [" + frame_names_[target_id] + "]";
    return TF2Error::TF2_EXTRAPOLATION_ERROR;
  }
  if (source.loop || target.loop) {
    error = "The tf tree is invalid because it contains a loop.\n" + allFramesAsStringNoLock();
    return TF2Error::TF2_LOOKUP_ERROR;
  }
  error = "Could not find a connection between '" + frame_names_[target_id] + "' and '" +
    frame_names_[source_id] + "' because they are not part of the same tree." +
    "Tf has two or more unconnected trees.";
  return TF2Error::TF2_CONNECTIVITY_ERROR;
}

TF2Error BufferCore::lookupNoLock(
  CompactFrameID target_id, CompactFrameID source_id, TimePoint time,
  RigidTransform & transform, TimePoint & time_out, std::string & error) const
{
  if (target_id == source_id) {
    transform = RigidTransform{};
    const FrameHistory * history = frames_[target_id].get();
    time_out = (time == TimePointZero && history) ? history->latestStamp() : time;
    return TF2Error::TF2_NO_ERROR;
  }
  TimePoint newest_common;
  TF2Error code = resolveChain(target_id, source_id, time, transform, newest_common, error);
  time_out = time;
  if (code != TF2Error::TF2_NO_ERROR || time != TimePointZero ||
    newest_common == TimePointZero)
  {
    return code;
  }
  // Time zero: the newest samples of different links were taken at different
  // times; evaluate the whole chain at the latest time they all cover.
  time_out = newest_common;
  return resolveChain(target_id, source_id, newest_common, transform, newest_common, error);
}

}  // namespace tf2
