#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <pcl/point_cloud.h>
#include <pcl/point_types.h>

#include "pelorin/perception/records.hpp"

namespace pelorin::perception {

// Splits a cloud in the robot base frame (x forward, y left, z up, floor near
// z = 0) into floor and obstacle points by fitting lines to the floor.
//
// The plane around the robot is cut into angular segments and, inside each
// segment, into range bins (range = horizontal distance from the base
// origin).  Each bin offers one floor candidate: the mean of its lowest
// points, re-centred so that the noise below the floor does not drag it
// down, plus how widely the floor's heights spread there.  Along a segment
// the candidates are joined by incremental least squares into lines; a
// candidate off the line is an obstacle unless the next ones continue from
// the line's end as a new line (a ramp).  A segment is fitted twice: the
// second time lines start near the floor its neighbours found, which carries
// the floor through an obstacle's shadow.  A point is then judged by its
// height above the floor of its segment, blended with the nearer
// neighbour's.  Low points right under or behind an obstacle point (the
// foot of a box or a wall) belong to the obstacle.  Everything is linear in
// the number of points; buffers are kept between frames.
//
// What the eighteen values of GroundRemovalParams mean here (lengths in
// metres, angles in radians, slopes in metres of rise per metre of range):
//  segmentation_angular_resolution  angular width of one segment.
//  point_cloud_max_range            outer end of the range bins.  Farther
//                                   points are judged against the last line
//                                   of their segment, extended.
//  point_cloud_min_range            inner end of the range bins.
//  segmentation_bin_len             length of one range bin.
//  cam_height                       camera height above the floor: floor seen
//                                   by the camera lies below it, so higher
//                                   candidates are never floor.
//  max_lsq_residual                 a candidate farther than this from its
//                                   line, or one that would lift the line's
//                                   RMS residual above it, does not join.
//  min_slope                        lines flatter than this are levelled (slope
//                                   0 at their mean height); 0 keeps every slope.
//  max_slope                        steepest line still taken as floor (up or
//                                   down the range).
//  max_height_diff_for_start_up     a new line may start at most this far above
//  max_height_diff_for_start_down   ... or this far below the floor expected
//                                   there: the neighbouring segments' floor,
//                                   else the previous line extended, else the
//                                   floor measured in front of the robot.
//  max_dist_point_groundline        ground band: a point within this height of
//                                   the floor is ground.  Also the reach of
//                                   the foot rule and the height of a bin's
//                                   candidate band.
//  long_threshold                   a gap between candidates longer than this
//                                   ends a line; and beyond this distance from
//                                   its lines a segment leaves the floor to
//                                   neighbours whose lines reach there.
//  max_height_diff_for_front        ground band for points nearer than the
//                                   first line of their segment.
//  x_distance_need_preprocess       the near range is 0 <= x < this.
//  z_distance_need_remove           near-range points within this height of
//                                   z = 0 sample the floor in front of the
//                                   robot (median and robust spread); near
//                                   points lower than the sampled floor by
//                                   more than this are always noise.
//  max_obstacle_height              obstacle points reach at most this height
//                                   above the floor; higher points are neither
//                                   ground nor obstacle (table tops, ceilings).
//  diluting_threshold               near-range thinning in PreprocessCloud: one
//                                   point is kept per cube of this edge; 0 or
//                                   less keeps all (a voxel-filtered cloud
//                                   needs none).
//  noise_nsigma                     near-range points more than this many
//                                   robust standard deviations below the
//                                   sampled floor are noise; and where a bin's
//                                   floor spreads wider (far, noisy depth),
//                                   the ground band widens to this many
//                                   standard deviations.
// Points with a non-finite coordinate are ignored.  One object serves one
// camera thread.
class RemoveGroundLineFit {
 public:
  using Cloud = pcl::PointCloud<pcl::PointXYZ>;

  // What RemoveGround makes of one point.
  enum class PointClass : uint8_t {
    kGround,
    kObstacle,
    kAboveObstacles,  // higher than max_obstacle_height above the floor
    kBelowGround,     // below the floor by more than the band: noise
    kInvalid,         // non-finite coordinate
  };

  // Throws std::invalid_argument naming the first value that cannot work
  // (non-finite, a non-positive resolution or bin length, an empty range, too
  // many segments or bins).  ValidationError gives the same text without
  // throwing, so a caller can refuse a change and keep its old object.
  explicit RemoveGroundLineFit(const GroundRemovalParams& params);
  static std::string ValidationError(const GroundRemovalParams& params);

  virtual ~RemoveGroundLineFit();
  RemoveGroundLineFit(const RemoveGroundLineFit&) = delete;
  RemoveGroundLineFit& operator=(const RemoveGroundLineFit&) = delete;

  // The lines of the last RemoveGround, one cloud per line, its points at
  // the line's candidates in order of range.
  virtual std::vector<Cloud> GetGroundLines() const;

  // The points the last PreprocessCloud and RemoveGround set aside as noise
  // (a copy; it stays valid after the next frame).
  virtual Cloud::Ptr GetOutlierCloud();

  // Cleans `cloud` in place: drops non-finite points, thins the near range
  // and moves near-range points below the floor into the outlier cloud.
  // A null pointer is ignored.
  virtual void PreprocessCloud(Cloud::Ptr cloud);

  // Replaces the contents of `obstacle` and `ground` by the obstacle and
  // ground points of `base` (its header is copied to both).  Points below the
  // floor are added to the outlier cloud; points above max_obstacle_height go
  // nowhere.  Null pointers are ignored.
  virtual void RemoveGround(Cloud::Ptr base, Cloud::Ptr obstacle, Cloud::Ptr ground);

  // The per-point decision behind RemoveGround: `classes` gets one entry per
  // point of `cloud`.  Also refreshes the lines GetGroundLines returns.
  void Classify(const Cloud& cloud, std::vector<PointClass>& classes);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace pelorin::perception
