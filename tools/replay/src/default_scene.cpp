#include "default_scene.hpp"

#include "scene/camera.hpp"
#include "scene/room.hpp"

namespace replay
{

scene::Scene defaultScene()
{
  scene::Scene s;
  s.room.walls = scene::Walls{{-1.5F, -3.0F}, {6.0F, 3.2F}, 2.5F};
  s.room.objects = {
    // Walks ahead on the robot's right, slower than it drives.
    scene::person(kPersonId, {1.6F, -0.9F}, {0.18F, 0.0F}),
    scene::bottle(kBottleId, {1.3F, 0.3F}, 0.5F),
    scene::cup(kCupId, {1.6F, -0.35F}, scene::kYellow),
    // The docking base against the far wall of the second stretch.
    scene::box(kBaseId, {2.1F, 2.9F, 0.0F}, {2.5F, 3.15F, 0.15F}, scene::kCyan),
    scene::box(kCabinetId, {1.6F, -1.7F, 0.0F}, {2.0F, -1.3F, 0.6F}),
    scene::box(kChairId, {0.7F, 0.9F, 0.0F}, {1.1F, 1.3F, 0.45F}),
  };
  s.room.patches = {
    scene::stain(kStainId, {0.9F, -0.25F}, {0.25F, 0.18F}, scene::kMagenta),
    scene::escalatorEntrance(kEscalatorId, {1.7F, 1.6F}, 0.0F),
  };
  // Slow enough for the trash thread's turn-rate gate (0.5 rad/s).
  s.robot = scene::RobotPath::through({
      {0.0, {0.0F, 0.0F, 0.0F}},
      {8.0, {2.4F, 0.0F, 0.0F}},
      {12.0, {2.8F, 0.2F, 1.5708F}},
      {kSceneSeconds, {2.8F, 2.3F, 1.5708F}}});
  // The map lies apart from odom, as after a relocalisation.
  s.frames.map_from_odom_fusion =
    Eigen::Translation3f(2.0F, -1.0F, 0.0F) * Eigen::AngleAxisf(0.3F, Eigen::Vector3f::UnitZ());

  scene::Camera front;
  front.frame_id = "camera_01_depth_optical_frame";
  front.base_from_optical = scene::mountPose(0.15F, 0.35F, 0.45F);
  front.noise = scene::structuredLightNoise(1);
  scene::Camera left = front;
  left.frame_id = "camera_02_depth_optical_frame";
  left.base_from_optical = scene::mountPose(0.1F, 0.4F, 0.4F, 0.7F, 0.1F);
  left.noise = scene::structuredLightNoise(2);
  s.cameras = {front, left};
  return s;
}

}  // namespace replay
