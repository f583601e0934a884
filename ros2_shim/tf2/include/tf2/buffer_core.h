#ifndef TF2__BUFFER_CORE_H_
#define TF2__BUFFER_CORE_H_

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "geometry_msgs/msg/transform_stamped.hpp"
#include "tf2/exceptions.h"
#include "tf2/time.h"

namespace tf2
{

namespace detail
{
class FrameHistory;
struct RigidTransform;
}  // namespace detail

typedef std::uint32_t CompactFrameID;
typedef std::uint64_t TransformableRequestHandle;

enum TransformableResult
{
  TransformAvailable,
  TransformFailure,
};

// How long a moving frame's history reaches back by default.
static constexpr Duration BUFFER_CORE_DEFAULT_CACHE_TIME = std::chrono::seconds(10);

// The tree of coordinate frames over time.  Every child frame keeps its own history
// of transforms to its parent; a look-up walks both frames up to their common
// ancestor and composes the links, interpolated at the requested time.
// All members may be called from any thread at any time.
class BufferCore
{
public:
  // Deeper chains are taken for loops.
  static const std::uint32_t MAX_GRAPH_DEPTH = 1000UL;

  explicit BufferCore(tf2::Duration cache_time = BUFFER_CORE_DEFAULT_CACHE_TIME);
  virtual ~BufferCore();

  // Forgets every transform but the static ones; the frame names stay known.
  void clear();

  // False (and an error line) for a malformed transform or one older than the cache.
  // Whether a frame is static is fixed by the first transform received for it.
  bool setTransform(
    const geometry_msgs::msg::TransformStamped & transform,
    const std::string & authority, bool is_static = false);

  // The transform taking points from source_frame into target_frame at `time`
  // (TimePointZero: the latest time all links of the chain have in common).
  // A frame to itself is the identity for any name, stamped `time` (at time
  // zero: the frame's newest stamp, if it has one).
  // Throws LookupException, ConnectivityException, ExtrapolationException,
  // InvalidArgumentException.
  geometry_msgs::msg::TransformStamped lookupTransform(
    const std::string & target_frame, const std::string & source_frame,
    const TimePoint & time) const;

  // Source at source_time into target at target_time, taking fixed_frame as constant.
  geometry_msgs::msg::TransformStamped lookupTransform(
    const std::string & target_frame, const TimePoint & target_time,
    const std::string & source_frame, const TimePoint & source_time,
    const std::string & fixed_frame) const;

  bool canTransform(
    const std::string & target_frame, const std::string & source_frame,
    const TimePoint & time, std::string * error_msg = nullptr) const;

  bool canTransform(
    const std::string & target_frame, const TimePoint & target_time,
    const std::string & source_frame, const TimePoint & source_time,
    const std::string & fixed_frame, std::string * error_msg = nullptr) const;

  std::vector<std::string> getAllFrameNames() const;

  std::string allFramesAsYAML(TimePoint current_time) const;
  std::string allFramesAsYAML() const;
  std::string allFramesAsString() const;

  using TransformableCallback = std::function<
    void (TransformableRequestHandle request_handle, const std::string & target_frame,
    const std::string & source_frame, TimePoint time, TransformableResult result)>;

  // Calls `cb` once, from the thread that adds the deciding transform, when the
  // transform becomes available or can no longer become available.  Returns 0 when
  // it is available already and 0xffffffffffffffff when it never will be; in both
  // cases `cb` is not kept.
  TransformableRequestHandle addTransformableRequest(
    const TransformableCallback & cb, const std::string & target_frame,
    const std::string & source_frame, TimePoint time);
  void cancelTransformableRequest(TransformableRequestHandle handle);

  // Whether some thread feeds this buffer while others wait on it.
  void setUsingDedicatedThread(bool value) {using_dedicated_thread_ = value;}
  bool isUsingDedicatedThread() const {return using_dedicated_thread_;}

  bool _frameExists(const std::string & frame_id_str) const;
  // False when the frame is unknown or has no parent at that time.
  bool _getParent(const std::string & frame_id, TimePoint time, std::string & parent) const;
  void _getFrameStrings(std::vector<std::string> & ids) const;

  tf2::Duration getCacheLength() {return cache_time_;}

private:
  struct TransformableRequest
  {
    TransformableRequestHandle handle;
    TransformableCallback cb;
    std::string target;
    std::string source;
    TimePoint time;
  };

  // 0 when the frame is unknown.
  CompactFrameID lookupFrameNumber(const std::string & frame_id) const;
  CompactFrameID lookupOrInsertFrameNumber(const std::string & frame_id);

  // 0 (and `code`, `error` set) when the id is malformed or unknown; `caller`
  // and `argument` name the offending argument in the message.
  CompactFrameID validateFrameId(
    const char * caller, const char * argument, const std::string & frame_id,
    TF2Error & code, std::string & error) const;

  // Caller holds frame_mutex_.  time_out receives the time actually used.
  TF2Error lookupNoLock(
    CompactFrameID target_id, CompactFrameID source_id, TimePoint time,
    detail::RigidTransform & transform, TimePoint & time_out, std::string & error) const;
  TF2Error resolveChain(
    CompactFrameID target_id, CompactFrameID source_id, TimePoint time,
    detail::RigidTransform & transform, TimePoint & newest_common, std::string & error) const;

  // Validates the names and runs the two-frame look-up (fixed_frame null) or the
  // fixed-frame one under the lock.  `caller` prefixes the messages.
  TF2Error lookupChecked(
    const char * caller,
    const std::string & target_frame, const TimePoint & target_time,
    const std::string & source_frame, const TimePoint & source_time,
    const std::string * fixed_frame, detail::RigidTransform & transform,
    TimePoint & time_out, std::string & error) const;

  void testTransformableRequests();
  bool requestIsHopeless(const TransformableRequest & request) const;

  std::string allFramesAsStringNoLock() const;

  mutable std::mutex frame_mutex_;
  // Index 0 is the "no parent" placeholder; a null history marks a frame known
  // only as somebody's parent.
  std::vector<std::unique_ptr<detail::FrameHistory>> frames_;
  std::vector<std::string> frame_names_;
  std::unordered_map<std::string, CompactFrameID> frame_ids_;
  std::map<CompactFrameID, std::string> frame_authority_;
  tf2::Duration cache_time_;

  // Mutable so that const waiters (tf2_ros::Buffer::canTransform) can register.
  mutable std::mutex transformable_requests_mutex_;
  mutable std::vector<TransformableRequest> transformable_requests_;
  mutable TransformableRequestHandle transformable_requests_counter_ = 0;

  std::atomic<bool> using_dedicated_thread_{false};
};

}  // namespace tf2

#endif  // TF2__BUFFER_CORE_H_
