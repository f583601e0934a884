#pragma once

#include <vector>

#include "builtin_interfaces/msg/time.hpp"
#include "quorvane_protocol/msg/detected_wastes.hpp"
#include "visualization_msgs/msg/marker_array.hpp"
#include "trash_track_table.hpp"

namespace pelorin
{
namespace perception
{

// The tracks as the "detected_wastes" message, frame "map"; unmeasured sizes stay -1.
quorvane_protocol::msg::DetectedWastes ToDetectedWastes(const std::vector<TrashTrack>& tracks,
                                                        const builtin_interfaces::msg::Time& stamp);

// A DELETEALL first (so tracks that went away vanish), then one cube and one text per track.
visualization_msgs::msg::MarkerArray ToMarkers(const std::vector<TrashTrack>& tracks,
                                               const builtin_interfaces::msg::Time& stamp);

}  // namespace perception
}  // namespace pelorin
