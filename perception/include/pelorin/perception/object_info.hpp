#pragma once

#include <cstdint>
#include <vector>

namespace pelorin
{
namespace perception
{

// One item of trash as a camera saw it in one frame.
struct ObjectInfo
{
  double position[3] = {0.0, 0.0, 0.0};  // centroid in "map", metres
  float distance = 0.0F;                 // centroid to the camera's optical centre, metres
  int32_t class_id = 0;                  // semantic class value
  std::vector<float> size;               // {length, width, height}, metres; -1 = not measured
};

}  // namespace perception
}  // namespace pelorin
