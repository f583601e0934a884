#include <cmath>
#include <iostream>
#include <memory>

#include <opencv2/core.hpp>

#include "floor_calibration.hpp"
#include "frame_input.hpp"
#include "ground_settings.hpp"
#include "recorded_frames.hpp"
#include "scene/render.hpp"
#include "scene/ros_messages.hpp"

namespace frame_chain
{
namespace
{

constexpr int kHistoryFrames = 6;
// The floor fit wants the far floor too.
constexpr float kCalibrationDepth = 4.0F;
constexpr float kNearFloor = 0.02F;

Accuracy nearFloorScore(const Points & base, const Verdicts & verdicts, float ceiling)
{
  int floor_ground = 0, object_obstacle = 0;
  Accuracy a;
  for (std::size_t i = 0; i < base.size(); ++i) {
    const float z = base.points[i].z;
    if (std::fabs(z) <= kNearFloor) {
      ++a.floor_points;
      floor_ground += verdicts[i] == scene::Verdict::kGround;
    } else if (z >= kTallerThan && z <= ceiling) {
      ++a.object_points;
      object_obstacle += verdicts[i] == scene::Verdict::kObstacle;
    }
  }
  if (a.floor_points > 0) {
    a.floor_as_ground = static_cast<double>(floor_ground) / a.floor_points;
  }
  if (a.object_points > 0) {
    a.objects_as_obstacle = static_cast<double>(object_obstacle) / a.object_points;
  }
  return a;
}

// The ground tests' camera (2 m of depth, the node's depth_max) with the
// frame's intrinsics, mounted where the floor fit puts it.
scene::Camera calibratedCamera(
  const recorded::DepthFrame & frame, const cv::Mat & depth,
  const recorded::FloorCalibration & floor)
{
  scene::Camera camera = ground_test::groundCamera();
  const recorded::Intrinsics & k = frame.intrinsics;
  camera.intrinsics = {depth.cols, depth.rows, k.fx, k.fy, k.cx, k.cy};
  camera.base_from_optical = Eigen::Isometry3f(floor.camera_to_base.matrix());
  return camera;
}

}  // namespace

std::vector<FrameInput> recordedFrames()
{
  std::vector<FrameInput> inputs;
  const std::string folder = recorded::dataFolder();
  if (folder.empty()) {
    std::cerr << "recorded RGB-D frames not found: synthetic frame only\n";
    return inputs;
  }
  for (const recorded::DepthFrame & frame : recorded::listFrames(folder)) {
    const recorded::FloorCalibration floor =
      recorded::calibrateFloor(recorded::loadCloud(frame, 2, kCalibrationDepth));
    scene::Frame pixels;
    pixels.depth = recorded::loadDepth(frame);
    if (!floor.found || pixels.depth.empty()) {
      std::cerr << frame.name << ": unreadable or no floor found, frame left out\n";
      continue;
    }
    FrameInput input;
    input.name = frame.name;
    input.camera = calibratedCamera(frame, pixels.depth, floor);
    input.ground = ground_test::groundParamsFor(input.camera);
    // Without a model the colour is only paired, never looked at.
    pixels.colour = cv::Mat(pixels.depth.size(), CV_8UC3, cv::Scalar::all(128));
    input.depth = std::make_shared<const sensor_msgs::msg::Image>(scene::depthImage(
        pixels, scene::DepthEncoding::kMillimetres, kStamp, input.camera.frame_id));
    input.colour = std::make_shared<const sensor_msgs::msg::Image>(
      scene::colourImage(pixels, kStamp, input.camera.frame_id));
    // A robot standing still before a still room.
    input.history.assign(kHistoryFrames, input.depth);
    const float ceiling = input.ground.max_obstacle_height;
    input.score = [ceiling](const Points & base, const Verdicts & verdicts) {
        return nearFloorScore(base, verdicts, ceiling);
      };
    inputs.push_back(std::move(input));
  }
  return inputs;
}

}  // namespace frame_chain
