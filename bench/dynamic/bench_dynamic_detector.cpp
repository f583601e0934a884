// Update + DivideCloud of the moving-point detector on 640 x 400 frames of the
// furnished room with a walker, the robot driving and turning.

#include <memory>
#include <vector>

#include <benchmark/benchmark.h>

#include "pelorin/perception/dynamic_cloud_detector.hpp"
#include "scene/cloud.hpp"
#include "scene/render.hpp"
#include "scene/stock_rooms.hpp"

namespace
{

using Cloud = pcl::PointCloud<pcl::PointXYZ>;

struct Frame
{
  std::shared_ptr<Cloud> obstacle;
  cv::Mat depth;
  geometry_msgs::msg::Pose pose;
};

std::vector<Frame> MakeFrames(const scene::Camera& camera, int count)
{
  scene::Scene s;
  s.room = scene::furnishedRoom();
  scene::Object walker = scene::box(5, {2.6F, 1.25F, 0.0F}, {2.9F, 1.75F, 1.7F}, scene::kRed);
  walker.velocity = {0.0F, -1.0F};
  s.room.objects.push_back(walker);
  s.robot = scene::RobotPath([](double t) {
      return scene::Pose2{0.3F * static_cast<float>(t), 0.0F, 0.2F * static_cast<float>(t)};
    });
  s.cameras = {camera};
  std::vector<Frame> frames;
  for (int f = 0; f < count; ++f) {
    const scene::Frame rendered = scene::render(s, 0, 0.1 * f);
    Frame frame;
    frame.depth = rendered.depth;
    frame.obstacle = std::make_shared<Cloud>(scene::keepAbove(
      scene::transformed(scene::depthCloud(rendered, camera, 2, 4.5F), camera.base_from_optical),
      0.05F).cloud);
    const Eigen::Quaternionf q(rendered.odom_from_base.linear());
    frame.pose.position.x = rendered.odom_from_base.translation().x();
    frame.pose.position.y = rendered.odom_from_base.translation().y();
    frame.pose.orientation.z = q.z();
    frame.pose.orientation.w = q.w();
    frames.push_back(frame);
  }
  return frames;
}

void BM_UpdateAndDivide(benchmark::State& state)
{
  scene::Camera camera;
  camera.intrinsics = {640, 400, 344.0F, 344.0F, 319.5F, 199.5F};
  camera.base_from_optical = scene::mountPose(0.2F, 0.35F, 0.17F);
  camera.noise = scene::structuredLightNoise(3);
  camera.max_depth = 20.0F;
  const std::vector<Frame> frames = MakeFrames(camera, 12);
  const scene::Intrinsics& k = camera.intrinsics;
  pelorin::perception::DynamicCloudDetector detector{YAML::Node()};
  detector.Init(camera.base_from_optical.inverse().matrix(), k.K(), k.width, k.height, 4.5F);
  std::size_t i = 0;
  std::size_t points = 0;
  for (auto _ : state) {
    const Frame& frame = frames[i++ % frames.size()];
    detector.Update(frame.obstacle, frame.depth, frame.pose);
    Cloud moving;
    Cloud still;
    detector.DivideCloud(*frame.obstacle, moving, still);
    benchmark::DoNotOptimize(moving.size());
    points += frame.obstacle->size();
  }
  state.counters["points_per_frame"] = static_cast<double>(points) / state.iterations();
}
BENCHMARK(BM_UpdateAndDivide)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
