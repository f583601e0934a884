// The detector on rendered sequences: a furnished room, the robot driving and
// turning with exact odometry, a person-sized box walking at about 1 m/s.

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "pelorin/perception/dynamic_cloud_detector.hpp"
#include "scene/cloud.hpp"
#include "scene/render.hpp"
#include "scene/stock_rooms.hpp"

namespace
{

using pelorin::perception::DynamicCloudDetector;
using Cloud = pcl::PointCloud<pcl::PointXYZ>;

constexpr int kWalkerId = 100;
constexpr float kFramePeriod = 0.1F;
constexpr float kMaxDepth = 4.5F;

struct Scenario
{
  std::string name;
  float robot_speed;       // m/s along its heading
  float robot_yaw_rate;    // rad/s, reversed half-way
  Eigen::Vector2f walker_start;
  Eigen::Vector2f walker_velocity;
  int frames;
};

scene::Camera Camera()
{
  scene::Camera camera;
  camera.intrinsics = {640, 400, 344.0F, 344.0F, 319.5F, 199.5F};
  camera.base_from_optical = scene::mountPose(0.2F, 0.35F, 0.17F);
  camera.noise = scene::structuredLightNoise(7);
  camera.max_depth = 20.0F;  // beyond the room: the detector sees every wall
  return camera;
}

geometry_msgs::msg::Pose ToPose(const Eigen::Isometry3f& iso)
{
  geometry_msgs::msg::Pose pose;
  const Eigen::Quaternionf q(iso.linear());
  pose.position.x = iso.translation().x();
  pose.position.y = iso.translation().y();
  pose.position.z = iso.translation().z();
  pose.orientation.x = q.x();
  pose.orientation.y = q.y();
  pose.orientation.z = q.z();
  pose.orientation.w = q.w();
  return pose;
}

// A walker cut by the left or right border was partly outside the earlier views too.
bool TouchesSideBorder(const cv::Mat& ids, int id)
{
  const int margin = 4;
  for (int v = 0; v < ids.rows; ++v) {
    for (int u = 0; u < ids.cols; ++u) {
      if ((u < margin || u >= ids.cols - margin) && ids.at<int>(v, u) == id) {
        return true;
      }
    }
  }
  return false;
}

struct Tally
{
  long static_points = 0;
  long static_moving = 0;
  int walker_frames_judged = 0;
  float worst_walker_fraction = 1.0F;
};

Tally RunScenario(const Scenario& s)
{
  const scene::Camera camera = Camera();
  const scene::Intrinsics& k = camera.intrinsics;
  DynamicCloudDetector detector{YAML::Node()};
  EXPECT_TRUE(detector.Init(camera.base_from_optical.inverse().matrix(), k.K(), k.width, k.height,
                            kMaxDepth));
  scene::Room room = scene::furnishedRoom();
  const Eigen::Vector3f half(0.15F, 0.25F, 0.0F);
  const Eigen::Vector3f start(s.walker_start.x(), s.walker_start.y(), 0.0F);
  scene::Object walker =
    scene::box(kWalkerId, start - half, start + half + Eigen::Vector3f(0.0F, 0.0F, 1.7F), scene::kRed);
  walker.velocity = s.walker_velocity;
  room.objects.push_back(walker);
  Tally tally;
  Eigen::Vector3f robot(0.0F, 0.0F, 0.0F);  // x, y, yaw in odom (= world)
  bool walker_seen = false;  // judged from its second frame in view on
  for (int f = 0; f < s.frames; ++f) {
    Eigen::Isometry3f odom_from_base = Eigen::Isometry3f::Identity();
    odom_from_base.translation() = Eigen::Vector3f(robot.x(), robot.y(), 0.0F);
    odom_from_base.linear() =
      Eigen::AngleAxisf(robot.z(), Eigen::Vector3f::UnitZ()).toRotationMatrix();

    const scene::Frame frame = scene::render(room, camera, odom_from_base, f * kFramePeriod);
    const scene::LabelledCloud labelled = scene::keepAbove(
      scene::transformed(scene::depthCloud(frame, camera, 2, kMaxDepth), camera.base_from_optical),
      0.05F);
    auto obstacle = std::make_shared<Cloud>(labelled.cloud);
    const std::vector<int>& ids = labelled.labels;
    detector.Update(obstacle, frame.depth, ToPose(odom_from_base));

    Cloud walker_points;
    Cloud static_points;
    for (std::size_t i = 0; i < obstacle->size(); ++i) {
      (ids[i] == kWalkerId ? walker_points : static_points).push_back((*obstacle)[i]);
    }
    Cloud moving;
    Cloud still;
    detector.DivideCloud(static_points, moving, still);
    EXPECT_EQ(moving.size() + still.size(), static_points.size());
    tally.static_points += static_cast<long>(static_points.size());
    tally.static_moving += static_cast<long>(moving.size());

    detector.DivideCloud(walker_points, moving, still);
    EXPECT_EQ(moving.size() + still.size(), walker_points.size());
    if (walker_points.size() >= 30 && !TouchesSideBorder(frame.ids, kWalkerId)) {
      if (walker_seen) {
        const float fraction = static_cast<float>(moving.size()) / walker_points.size();
        EXPECT_GE(fraction, 0.8F) << s.name << ", frame " << f;
        EXPECT_TRUE(detector.division_available_);
        tally.worst_walker_fraction = std::min(tally.worst_walker_fraction, fraction);
        ++tally.walker_frames_judged;
      }
      walker_seen = true;
    }
    detector.division_available_ = false;

    const float yaw_rate = f < s.frames / 2 ? s.robot_yaw_rate : -s.robot_yaw_rate;
    robot.x() += s.robot_speed * std::cos(robot.z()) * kFramePeriod;
    robot.y() += s.robot_speed * std::sin(robot.z()) * kFramePeriod;
    robot.z() += yaw_rate * kFramePeriod;
  }
  return tally;
}

TEST(DynamicCloudDetectorSequence, FindsTheWalkerAndLeavesTheRoomStill)
{
  const std::vector<Scenario> scenarios = {
    {"crossing while driving and turning", 0.3F, 0.2F, {2.75F, 1.5F}, {0.0F, -1.0F}, 30},
    {"approaching diagonally while turning in place", 0.0F, 0.25F, {3.4F, -0.6F},
     {-0.6F, 0.8F}, 25},
    {"crossing far while turning in place", 0.0F, -0.2F, {3.6F, -1.3F}, {0.0F, 1.0F}, 20},
    {"crossing the other way", 0.2F, -0.15F, {2.75F, -1.2F}, {0.0F, 1.0F}, 26},
  };
  for (const Scenario& s : scenarios) {
    const Tally tally = RunScenario(s);
    ASSERT_GT(tally.static_points, 0) << s.name;
    const double static_fraction =
      static_cast<double>(tally.static_moving) / static_cast<double>(tally.static_points);
    EXPECT_LT(static_fraction, 0.01) << s.name;
    EXPECT_GE(tally.walker_frames_judged, 10) << s.name;
    std::printf("%s: static moving %.4f %%, worst walker frame %.3f over %d frames\n",
                s.name.c_str(), 100.0 * static_fraction, tally.worst_walker_fraction,
                tally.walker_frames_judged);
  }
}

}  // namespace
