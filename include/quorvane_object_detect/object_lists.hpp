#pragma once

#include <optional>
#include <vector>

#include "quorvane_object_detect/cloud.hpp"
#include "quorvane_protocol/msg/object_item.hpp"
#include "quorvane_protocol/msg/object_list.hpp"

// A moving record as an object on the floor: centroid, ground outline and
// height in the base frame.  Nothing for a record of fewer than 5 points.
std::optional<quorvane_protocol::msg::ObjectItem> objectItem(const CloudInfo & record);

struct ObjectLists
{
  quorvane_protocol::msg::ObjectList people;
  quorvane_protocol::msg::ObjectList objects;
};

// The objects of the moving records, persons also in the people list, both
// lists stamped `time` in the base frame and sourced from camera `camera_id`.
ObjectLists objectLists(const std::vector<CloudInfo> & dynamic_records, int camera_id, double time);
