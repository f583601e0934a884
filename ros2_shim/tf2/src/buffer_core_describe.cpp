// Human-readable dumps of the frame tree, for logs and debugging tools.
#include <algorithm>
#include <sstream>

#include "frame_history.h"
#include "tf2/buffer_core.h"

namespace tf2
{

std::string BufferCore::allFramesAsString() const
{
  std::unique_lock<std::mutex> lock(frame_mutex_);
  return allFramesAsStringNoLock();
}

std::string BufferCore::allFramesAsStringNoLock() const
{
  std::ostringstream out;
  for (CompactFrameID id = 1; id < frames_.size(); ++id) {
    if (!frames_[id]) {
      continue;
    }
    detail::FrameId parent = 0;
    frames_[id]->latestParent(parent);
    out << "Frame " << frame_names_[id] << " exists with parent " << frame_names_[parent] <<
      ".\n";
  }
  return out.str();
}

std::string BufferCore::allFramesAsYAML(TimePoint current_time) const
{
  std::unique_lock<std::mutex> lock(frame_mutex_);
  std::ostringstream out;
  out.precision(3);
  out << std::fixed;
  for (CompactFrameID id = 1; id < frames_.size(); ++id) {
    const detail::FrameHistory * history = frames_[id].get();
    detail::FrameId parent = 0;
    if (history == nullptr || !history->latestParent(parent)) {
      continue;
    }
    const double span = durationToSec(history->latestStamp() - history->oldestStamp());
    const double rate = static_cast<double>(history->size()) / std::max(span, 0.0001);
    const auto authority = frame_authority_.find(id);
    out << frame_names_[id] << ": \n";
    out << "  parent: '" << frame_names_[parent] << "'\n";
    out << "  broadcaster: '" <<
      (authority == frame_authority_.end() ? std::string("no recorded authority") :
      authority->second) << "'\n";
    out << "  rate: " << rate << "\n";
    out << "  most_recent_transform: " << displayTimePoint(history->latestStamp()) << "\n";
    out << "  oldest_transform: " << displayTimePoint(history->oldestStamp()) << "\n";
    if (current_time != TimePointZero) {
      out << "  transform_delay: " <<
        durationToSec(current_time - history->latestStamp()) << "\n";
    }
    out << "  buffer_length: " << span << "\n";
  }
  return out.str();
}

std::string BufferCore::allFramesAsYAML() const
{
  return allFramesAsYAML(TimePointZero);
}

}  // namespace tf2
