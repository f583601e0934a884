// Transformable requests: lets a waiter sleep until the transform it needs
// arrives instead of polling the buffer.
#include <utility>

#include "frame_history.h"
#include "rigid_transform.h"
#include "tf2/buffer_core.h"

namespace tf2
{

namespace
{
constexpr TransformableRequestHandle kNeverTransformable = 0xffffffffffffffffULL;
}  // namespace

TransformableRequestHandle BufferCore::addTransformableRequest(
  const TransformableCallback & cb, const std::string & target_frame,
  const std::string & source_frame, TimePoint time)
{
  if (target_frame == source_frame) {
    return 0;
  }
  TransformableRequest request{0, cb, target_frame, source_frame, time};
  // Held across the check and the insertion so that a transform added in between
  // cannot slip past this request unnoticed.
  std::lock_guard<std::mutex> lock(transformable_requests_mutex_);
  if (canTransform(target_frame, source_frame, time)) {
    return 0;
  }
  if (requestIsHopeless(request)) {
    return kNeverTransformable;
  }
  request.handle = ++transformable_requests_counter_;
  if (request.handle == 0 || request.handle == kNeverTransformable) {
    transformable_requests_counter_ = 1;
    request.handle = 1;
  }
  transformable_requests_.push_back(std::move(request));
  return transformable_requests_.back().handle;
}

void BufferCore::cancelTransformableRequest(TransformableRequestHandle handle)
{
  std::lock_guard<std::mutex> lock(transformable_requests_mutex_);
  for (auto it = transformable_requests_.begin(); it != transformable_requests_.end(); ++it) {
    if (it->handle == handle) {
      transformable_requests_.erase(it);
      return;
    }
  }
}

bool BufferCore::requestIsHopeless(const TransformableRequest & request) const
{
  if (request.time == TimePointZero) {
    return false;
  }
  std::unique_lock<std::mutex> lock(frame_mutex_);
  const CompactFrameID target_id = lookupFrameNumber(request.target);
  const CompactFrameID source_id = lookupFrameNumber(request.source);
  if (target_id == 0 || source_id == 0) {
    return false;
  }
  detail::RigidTransform unused;
  TimePoint latest;
  std::string error;
  if (lookupNoLock(target_id, source_id, TimePointZero, unused, latest, error) !=
    TF2Error::TF2_NO_ERROR || latest == TimePointZero)
  {
    return false;
  }
  // Data this old has already been pruned from the chain.
  return latest - request.time > cache_time_;
}

void BufferCore::testTransformableRequests()
{
  std::vector<std::pair<TransformableRequest, TransformableResult>> decided;
  {
    std::lock_guard<std::mutex> lock(transformable_requests_mutex_);
    for (auto it = transformable_requests_.begin(); it != transformable_requests_.end(); ) {
      TransformableResult result;
      if (canTransform(it->target, it->source, it->time)) {
        result = TransformAvailable;
      } else if (requestIsHopeless(*it)) {
        result = TransformFailure;
      } else {
        ++it;
        continue;
      }
      decided.emplace_back(std::move(*it), result);
      it = transformable_requests_.erase(it);
    }
  }
  // Called unlocked: a callback may well add or cancel requests itself.
  for (const auto & [request, result] : decided) {
    request.cb(request.handle, request.target, request.source, request.time, result);
  }
}

}  // namespace tf2
