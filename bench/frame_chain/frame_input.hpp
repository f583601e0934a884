#pragma once

#include <functional>
#include <string>
#include <vector>

#include <pcl/point_cloud.h>
#include <pcl/point_types.h>

#include "pelorin/perception/records.hpp"
#include "scene/camera.hpp"
#include "scene/ground_truth.hpp"
#include "sensor_msgs/msg/image.hpp"

// The depth frames the benchmarks run on, as the node receives them.
namespace frame_chain
{

using Points = pcl::PointCloud<pcl::PointXYZ>;
using Verdicts = std::vector<scene::Verdict>;

// Shares of the floor judged ground and of the objects judged obstacle, and
// how many points each share is taken over.
struct Accuracy
{
  double floor_as_ground = 1.0;
  double objects_as_obstacle = 1.0;
  int floor_points = 0;
  int object_points = 0;
};

// Every message carries this stamp, and the node's simulated clock shows it:
// colour and depth pair at once and no frame is ever stale.
constexpr double kStamp = 1000.0;
// Points this far above the floor or higher belong to an object.
constexpr float kTallerThan = 0.03F;

struct FrameInput
{
  std::string name;
  // Intrinsics, mount in base_footprint, depth range (the node's depth_max).
  scene::Camera camera;
  pelorin::perception::GroundRemovalParams ground;
  sensor_msgs::msg::Image::ConstSharedPtr depth;   // "16UC1"
  sensor_msgs::msg::Image::ConstSharedPtr colour;  // "rgb8"
  // Earlier depth frames of a robot standing still, oldest first: the moving
  // point detector's history.
  std::vector<sensor_msgs::msg::Image::ConstSharedPtr> history;
  // For verdicts on the points of a base-frame cloud.
  std::function<Accuracy(const Points &, const Verdicts &)> score;
};

// A furnished room with boxes, a person walking past and small things on the
// floor, seen by a 640 x 400 camera 0.35 m up, pitched down, with
// structured-light noise and holes.
FrameInput syntheticFrame();

// The recorded RGB-D frames, each with a base frame from the floor it shows.
// Floor means within 2 cm of that floor, objects the points 3 cm above it up
// to the obstacle ceiling.  Empty when the data folder is absent.
std::vector<FrameInput> recordedFrames();

}  // namespace frame_chain
