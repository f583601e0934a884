#pragma once

#include "scene/room.hpp"

// Rooms several test suites and benchmarks share.
namespace scene
{

// Open floor with boxes of 3 cm to 60 cm, a person-sized box and small
// clutter near the origin (ids 1 to 10).
Room clutteredRoom();
// A 0.15 rad ramp from 1 m ahead, two boxes on the flat floor before it
// (ids 1 and 2).
Room rampAhead();
// 7 m by 6 m inside 2.5 m high walls, the origin 1.5 m from the back wall:
// a table, a cabinet, a chair and a box (ids 1 to 4).
Room furnishedRoom();

}  // namespace scene
