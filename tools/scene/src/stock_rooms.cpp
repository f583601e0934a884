#include "scene/stock_rooms.hpp"

#include <vector>

namespace scene
{
namespace
{

// Standing on the floor: x and y extents and height.
struct Footprint
{
  float x_min, x_max, y_min, y_max, height;
};

std::vector<Object> boxes(const std::vector<Footprint> & footprints)
{
  std::vector<Object> out;
  for (const Footprint & f : footprints) {
    out.push_back(box(static_cast<int>(out.size()) + 1, Eigen::Vector3f(f.x_min, f.y_min, 0.0f),
      Eigen::Vector3f(f.x_max, f.y_max, f.height)));
  }
  return out;
}

}  // namespace

Room clutteredRoom()
{
  Room room;
  room.objects = boxes({
      {0.80f, 0.95f, -0.45f, -0.30f, 0.03f},
      {1.00f, 1.15f, 0.30f, 0.45f, 0.05f},
      {1.30f, 1.50f, -0.20f, 0.00f, 0.10f},
      {1.60f, 1.80f, 0.50f, 0.70f, 0.20f},
      {1.20f, 1.40f, -0.80f, -0.60f, 0.40f},
      {1.70f, 1.95f, -0.55f, -0.30f, 0.60f},
      {1.50f, 1.75f, 0.05f, 0.45f, 1.75f},  // a person
      {0.50f, 0.56f, 0.10f, 0.16f, 0.04f},  // clutter near the robot
      {0.55f, 0.60f, -0.20f, -0.12f, 0.06f},
      {0.62f, 0.70f, 0.30f, 0.36f, 0.08f},
    });
  return room;
}

Room rampAhead()
{
  Room room;
  room.ramp = Ramp{1.0f, 0.15f};
  room.objects = boxes({
      {0.60f, 0.75f, -0.30f, -0.15f, 0.05f},
      {0.70f, 0.85f, 0.20f, 0.40f, 0.15f},
    });
  return room;
}

Room furnishedRoom()
{
  Room room;
  room.walls = Walls{{-1.5f, -3.0f}, {5.5f, 3.0f}, 2.5f};
  room.objects = boxes({
      {3.2f, 4.0f, 1.0f, 2.0f, 0.75f},     // table
      {5.0f, 5.5f, -2.5f, -1.0f, 1.8f},    // cabinet
      {1.8f, 2.25f, -1.8f, -1.35f, 0.9f},  // chair
      {1.0f, 1.4f, 1.6f, 2.0f, 0.5f},      // box
    });
  return room;
}

}  // namespace scene
