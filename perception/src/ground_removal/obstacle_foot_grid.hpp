#pragma once

#include <cstdint>
#include <vector>

namespace pelorin::perception::ground {

// Finds the feet of obstacles: floor-level points that stand right under or
// behind an obstacle point.  A vertical face seen by the camera shows its
// lowest centimetres inside the ground band; they belong to the obstacle, while
// the floor in front of the face (nearer to the robot) stays floor.
class ObstacleFootGrid {
 public:
  // reach: largest horizontal search radius; rise: how much higher than the
  // low point an obstacle point may stand.
  void reset(float reach, float rise);
  void addObstacle(float x, float y, float range, float height);
  // Builds the cell index over the obstacle points added since reset.
  void index();
  // Whether an obstacle point stands within `reach` (at most the reset one)
  // of the low point and at most `slack` further from the robot.
  bool isFoot(float x, float y, float range, float height, float reach, float slack) const;

 private:
  struct Entry {
    float x, y, range, height;
  };
  bool cellOf(float x, float y, int64_t& cx, int64_t& cy) const;

  float reach_ = 0.0f;
  float rise_ = 0.0f;
  float cell_ = 1.0f;
  float min_x_ = 0.0f;
  float min_y_ = 0.0f;
  int64_t columns_ = 0;
  int64_t rows_ = 0;
  std::vector<Entry> points_;
  std::vector<Entry> sorted_;
  std::vector<uint32_t> cell_start_;  // columns_ * rows_ + 1 offsets into sorted_
};

}  // namespace pelorin::perception::ground
