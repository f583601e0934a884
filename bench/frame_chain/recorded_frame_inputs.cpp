#include <cmath>
#include <iostream>
#include <limits>
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

// Both recorded cameras give 640 x 480.
constexpr int kWidth = 640;
constexpr int kHeight = 480;
constexpr int kHistoryFrames = 6;
// The floor fit wants the far floor too.
constexpr float kCalibrationDepth = 4.0F;
constexpr float kNearFloor = 0.02F;

// The depth image behind the loader's full-resolution cloud: each point back
// on its pixel.
cv::Mat pixelDepths(const Points & cloud, const recorded::Intrinsics & k)
{
  cv::Mat depth = cv::Mat::zeros(kHeight, kWidth, CV_32FC1);
  for (const pcl::PointXYZ & p : cloud) {
    const long u = std::lround(p.x * k.fx / p.z + k.cx);
    const long v = std::lround(p.y * k.fy / p.z + k.cy);
    if (u >= 0 && u < kWidth && v >= 0 && v < kHeight) {
      depth.at<float>(static_cast<int>(v), static_cast<int>(u)) = p.z;
    }
  }
  return depth;
}

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
    if (!floor.found) {
      std::cerr << frame.name << ": no floor found, frame left out\n";
      continue;
    }
    FrameInput input;
    input.name = frame.name;
    const recorded::Intrinsics & k = frame.intrinsics;
    input.camera.frame_id = ground_test::groundCamera().frame_id;
    input.camera.intrinsics = {kWidth, kHeight, k.fx, k.fy, k.cx, k.cy};
    input.camera.base_from_optical.matrix() = floor.camera_to_base.matrix();
    input.camera.max_depth = ground_test::groundCamera().max_depth;
    input.ground = ground_test::groundParamsFor(input.camera);

    scene::Frame pixels;
    pixels.depth = pixelDepths(
      recorded::loadCloud(frame, 1, std::numeric_limits<float>::infinity()), k);
    // Without a model the colour is only paired, never looked at.
    pixels.colour = cv::Mat(kHeight, kWidth, CV_8UC3, cv::Scalar::all(128));
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
