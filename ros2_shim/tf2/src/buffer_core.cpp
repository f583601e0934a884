#include "tf2/buffer_core.h"

#include <cmath>
#include <sstream>
#include <utility>

#include "frame_history.h"
#include "log.h"
#include "rigid_transform.h"
#include "tf2/detail/stamp_conversion.h"

namespace tf2
{

namespace
{

const char kNoParent[] = "NO_PARENT";

std::string stripSlash(const std::string & frame_id)
{
  return (!frame_id.empty() && frame_id[0] == '/') ? frame_id.substr(1) : frame_id;
}

geometry_msgs::msg::TransformStamped toMessage(
  const detail::RigidTransform & transform, TimePoint time,
  const std::string & target_frame, const std::string & source_frame)
{
  geometry_msgs::msg::TransformStamped msg;
  msg.header.stamp = detail::toStamp(time);
  msg.header.frame_id = target_frame;
  msg.child_frame_id = source_frame;
  msg.transform.translation.x = transform.translation.x();
  msg.transform.translation.y = transform.translation.y();
  msg.transform.translation.z = transform.translation.z();
  msg.transform.rotation.x = transform.rotation.x();
  msg.transform.rotation.y = transform.rotation.y();
  msg.transform.rotation.z = transform.rotation.z();
  msg.transform.rotation.w = transform.rotation.w();
  return msg;
}

[[noreturn]] void throwFor(TF2Error code, const std::string & error)
{
  switch (code) {
    case TF2Error::TF2_LOOKUP_ERROR:
      throw LookupException(error);
    case TF2Error::TF2_CONNECTIVITY_ERROR:
      throw ConnectivityException(error);
    case TF2Error::TF2_EXTRAPOLATION_ERROR:
      throw ExtrapolationException(error);
    case TF2Error::TF2_INVALID_ARGUMENT_ERROR:
      throw InvalidArgumentException(error);
    default:
      throw TransformException(error);
  }
}

// Rejection reason for a received transform, empty when it is usable.
std::string problemWith(
  const geometry_msgs::msg::TransformStamped & msg, const std::string & frame_id,
  const std::string & child_frame_id, const std::string & authority)
{
  std::ostringstream why;
  const auto & t = msg.transform.translation;
  const auto & q = msg.transform.rotation;
  if (child_frame_id == frame_id) {
    why << "TF_SELF_TRANSFORM: Ignoring transform from authority \"" << authority <<
      "\" with frame_id and child_frame_id \"" << child_frame_id << "\" because they are the same";
  } else if (child_frame_id.empty()) {
    why << "TF_NO_CHILD_FRAME_ID: Ignoring transform from authority \"" << authority <<
      "\" because child_frame_id not set";
  } else if (frame_id.empty()) {
    why << "TF_NO_FRAME_ID: Ignoring transform with child_frame_id \"" << child_frame_id <<
      "\" from authority \"" << authority << "\" because frame_id not set";
  } else if (!std::isfinite(t.x) || !std::isfinite(t.y) || !std::isfinite(t.z) ||
    !std::isfinite(q.x) || !std::isfinite(q.y) || !std::isfinite(q.z) || !std::isfinite(q.w))
  {
    why << "TF_NAN_INPUT: Ignoring transform for child_frame_id \"" << child_frame_id <<
      "\" from authority \"" << authority << "\" because of a nan value in the transform (" <<
      t.x << " " << t.y << " " << t.z << ") (" << q.x << " " << q.y << " " << q.z << " " <<
      q.w << ")";
  } else if (std::abs(q.x * q.x + q.y * q.y + q.z * q.z + q.w * q.w - 1.0) > 10e-3) {
    why << "TF_DENORMALIZED_QUATERNION: Ignoring transform for child_frame_id \"" <<
      child_frame_id << "\" from authority \"" << authority <<
      "\" because of an invalid quaternion in the transform (" << q.x << " " << q.y << " " <<
      q.z << " " << q.w << ")";
  }
  return why.str();
}

}  // namespace

BufferCore::BufferCore(tf2::Duration cache_time)
: cache_time_(cache_time)
{
  frames_.emplace_back();
  frame_names_.emplace_back(kNoParent);
}

BufferCore::~BufferCore() = default;

void BufferCore::clear()
{
  std::unique_lock<std::mutex> lock(frame_mutex_);
  // Static transforms hold at every time: tf2's static caches ignore a clear.
  for (auto & history : frames_) {
    if (history && !history->isStatic()) {
      history->clear();
    }
  }
}

bool BufferCore::setTransform(
  const geometry_msgs::msg::TransformStamped & transform,
  const std::string & authority, bool is_static)
{
  const std::string frame_id = stripSlash(transform.header.frame_id);
  const std::string child_frame_id = stripSlash(transform.child_frame_id);
  const std::string problem = problemWith(transform, frame_id, child_frame_id, authority);
  if (!problem.empty()) {
    detail::logBufferMessage("ERROR", problem);
    return false;
  }

  detail::FrameSample sample;
  sample.stamp = detail::fromStamp(transform.header.stamp);
  const auto & t = transform.transform.translation;
  const auto & q = transform.transform.rotation;
  sample.pose.translation = Eigen::Vector3d(t.x, t.y, t.z);
  sample.pose.rotation = Eigen::Quaterniond(q.w, q.x, q.y, q.z).normalized();
  {
    std::unique_lock<std::mutex> lock(frame_mutex_);
    const CompactFrameID child = lookupOrInsertFrameNumber(child_frame_id);
    sample.parent = lookupOrInsertFrameNumber(frame_id);
    auto & history = frames_[child];
    if (!history) {
      history = std::make_unique<detail::FrameHistory>(is_static, cache_time_);
    }
    if (!history->insert(sample)) {
      lock.unlock();
      detail::logBufferMessage(
        "WARN", "TF_OLD_DATA ignoring data from the past for frame " + child_frame_id +
        " at time " + displayTimePoint(sample.stamp) + " according to authority " + authority);
      return false;
    }
    frame_authority_[child] = authority;
  }
  testTransformableRequests();
  return true;
}

geometry_msgs::msg::TransformStamped BufferCore::lookupTransform(
  const std::string & target_frame, const std::string & source_frame,
  const TimePoint & time) const
{
  detail::RigidTransform transform;
  TimePoint time_out;
  std::string error;
  const TF2Error code = lookupChecked(
    "lookupTransform", target_frame, time, source_frame, time, nullptr, transform, time_out,
    error);
  if (code != TF2Error::TF2_NO_ERROR) {
    throwFor(code, error);
  }
  return toMessage(transform, time_out, target_frame, source_frame);
}

geometry_msgs::msg::TransformStamped BufferCore::lookupTransform(
  const std::string & target_frame, const TimePoint & target_time,
  const std::string & source_frame, const TimePoint & source_time,
  const std::string & fixed_frame) const
{
  detail::RigidTransform transform;
  TimePoint time_out;
  std::string error;
  const TF2Error code = lookupChecked(
    "lookupTransform", target_frame, target_time, source_frame, source_time, &fixed_frame,
    transform, time_out, error);
  if (code != TF2Error::TF2_NO_ERROR) {
    throwFor(code, error);
  }
  return toMessage(transform, time_out, target_frame, source_frame);
}

bool BufferCore::canTransform(
  const std::string & target_frame, const std::string & source_frame,
  const TimePoint & time, std::string * error_msg) const
{
  detail::RigidTransform transform;
  TimePoint time_out;
  std::string error;
  const TF2Error code = lookupChecked(
    "canTransform", target_frame, time, source_frame, time, nullptr, transform, time_out, error);
  if (error_msg && code != TF2Error::TF2_NO_ERROR) {
    *error_msg = error;
  }
  return code == TF2Error::TF2_NO_ERROR;
}

bool BufferCore::canTransform(
  const std::string & target_frame, const TimePoint & target_time,
  const std::string & source_frame, const TimePoint & source_time,
  const std::string & fixed_frame, std::string * error_msg) const
{
  detail::RigidTransform transform;
  TimePoint time_out;
  std::string error;
  const TF2Error code = lookupChecked(
    "canTransform", target_frame, target_time, source_frame, source_time, &fixed_frame,
    transform, time_out, error);
  if (error_msg && code != TF2Error::TF2_NO_ERROR) {
    *error_msg = error;
  }
  return code == TF2Error::TF2_NO_ERROR;
}

TF2Error BufferCore::lookupChecked(
  const char * caller,
  const std::string & target_frame, const TimePoint & target_time,
  const std::string & source_frame, const TimePoint & source_time,
  const std::string * fixed_frame, detail::RigidTransform & transform,
  TimePoint & time_out, std::string & error) const
{
  std::unique_lock<std::mutex> lock(frame_mutex_);
  // A frame seen from itself needs no name checks: the identity, also for a
  // frame nobody has published.
  if (fixed_frame == nullptr && target_frame == source_frame) {
    const CompactFrameID id = lookupFrameNumber(target_frame);
    return lookupNoLock(id, id, target_time, transform, time_out, error);
  }
  TF2Error code = TF2Error::TF2_NO_ERROR;
  const CompactFrameID target_id =
    validateFrameId(caller, "target_frame", target_frame, code, error);
  if (target_id == 0) {
    return code;
  }
  const CompactFrameID source_id =
    validateFrameId(caller, "source_frame", source_frame, code, error);
  if (source_id == 0) {
    return code;
  }
  if (fixed_frame == nullptr) {
    return lookupNoLock(target_id, source_id, target_time, transform, time_out, error);
  }
  const CompactFrameID fixed_id =
    validateFrameId(caller, "fixed_frame", *fixed_frame, code, error);
  if (fixed_id == 0) {
    return code;
  }
  detail::RigidTransform source_in_fixed;
  detail::RigidTransform fixed_in_target;
  TimePoint source_time_out;
  code = lookupNoLock(fixed_id, source_id, source_time, source_in_fixed, source_time_out, error);
  if (code != TF2Error::TF2_NO_ERROR) {
    return code;
  }
  code = lookupNoLock(target_id, fixed_id, target_time, fixed_in_target, time_out, error);
  if (code == TF2Error::TF2_NO_ERROR) {
    transform = fixed_in_target * source_in_fixed;
  }
  return code;
}

CompactFrameID BufferCore::validateFrameId(
  const char * caller, const char * argument, const std::string & frame_id,
  TF2Error & code, std::string & error) const
{
  const auto where = [&] {return std::string(caller) + " argument " + argument;};
  if (frame_id.empty()) {
    code = TF2Error::TF2_INVALID_ARGUMENT_ERROR;
    error = "Invalid argument passed to " + where() + " in tf2 frame_ids cannot be empty";
    return 0;
  }
  if (frame_id[0] == '/') {
    code = TF2Error::TF2_INVALID_ARGUMENT_ERROR;
    error = "Invalid argument \"" + frame_id + "\" passed to " + where() +
      " in tf2 frame_ids cannot start with a '/' like: ";
    return 0;
  }
  const CompactFrameID id = lookupFrameNumber(frame_id);
  if (id == 0) {
    code = TF2Error::TF2_LOOKUP_ERROR;
    error = "\"" + frame_id + "\" passed to " + where() + " does not exist. ";
  }
  return id;
}

CompactFrameID BufferCore::lookupFrameNumber(const std::string & frame_id) const
{
  const auto it = frame_ids_.find(frame_id);
  return it == frame_ids_.end() ? 0 : it->second;
}

CompactFrameID BufferCore::lookupOrInsertFrameNumber(const std::string & frame_id)
{
  const CompactFrameID known = lookupFrameNumber(frame_id);
  if (known != 0) {
    return known;
  }
  const auto id = static_cast<CompactFrameID>(frames_.size());
  frames_.emplace_back();
  frame_names_.push_back(frame_id);
  frame_ids_.emplace(frame_id, id);
  return id;
}

std::vector<std::string> BufferCore::getAllFrameNames() const
{
  std::vector<std::string> names;
  _getFrameStrings(names);
  return names;
}

bool BufferCore::_frameExists(const std::string & frame_id_str) const
{
  std::unique_lock<std::mutex> lock(frame_mutex_);
  return lookupFrameNumber(frame_id_str) != 0;
}

bool BufferCore::_getParent(
  const std::string & frame_id, TimePoint time, std::string & parent) const
{
  std::unique_lock<std::mutex> lock(frame_mutex_);
  const CompactFrameID id = lookupFrameNumber(frame_id);
  if (id == 0 || !frames_[id]) {
    return false;
  }
  detail::FrameSample sample;
  std::string error;
  if (!frames_[id]->sampleAt(time, sample, error)) {
    return false;
  }
  parent = frame_names_[sample.parent];
  return true;
}

void BufferCore::_getFrameStrings(std::vector<std::string> & ids) const
{
  std::unique_lock<std::mutex> lock(frame_mutex_);
  ids.assign(frame_names_.begin() + 1, frame_names_.end());
}

}  // namespace tf2
