// Update + DivideCloud of the moving-point detector on 640 x 400 frames of a
// furnished room with a walker, the robot driving and turning.

#include <memory>
#include <random>
#include <vector>

#include <benchmark/benchmark.h>

#include "box_scene.hpp"
#include "pelorin/perception/dynamic_cloud_detector.hpp"

namespace
{

using Cloud = pcl::PointCloud<pcl::PointXYZ>;

struct Frame
{
  std::shared_ptr<Cloud> obstacle;
  cv::Mat depth;
  geometry_msgs::msg::Pose pose;
};

const scene::Camera kCamera{640, 400, 344.0F, 344.0F, 319.5F, 199.5F};

std::vector<Frame> MakeFrames(const Eigen::Isometry3f& base_from_cam, int count)
{
  const scene::Box room{{-1.5F, -3.0F, 0.0F}, {5.5F, 3.0F, 2.5F}, 0};
  std::mt19937 random(3);
  std::vector<Frame> frames;
  for (int f = 0; f < count; ++f) {
    const float t = 0.1F * f;
    Eigen::Isometry3f odom_from_base = Eigen::Isometry3f::Identity();
    odom_from_base.translation() = Eigen::Vector3f(0.3F * t, 0.0F, 0.0F);
    odom_from_base.linear() =
      Eigen::AngleAxisf(0.2F * t, Eigen::Vector3f::UnitZ()).toRotationMatrix();
    const std::vector<scene::Box> boxes = {
      {{3.2F, 1.0F, 0.0F}, {4.0F, 2.0F, 0.75F}, 1},
      {{1.8F, -1.8F, 0.0F}, {2.25F, -1.35F, 0.9F}, 2},
      {{2.6F, 1.25F - t, 0.0F}, {2.9F, 1.75F - t, 1.7F}, 3},
    };
    const scene::Rendering r = scene::Render(room, boxes, kCamera, odom_from_base * base_from_cam);
    Frame frame;
    frame.depth = r.depth.clone();
    scene::AddSensorNoise(frame.depth, 0.02F, random);
    std::vector<int> ids;
    frame.obstacle = std::make_shared<Cloud>(
      scene::ObstacleCloud(r, frame.depth, kCamera, base_from_cam, 2, 4.5F, ids));
    const Eigen::Quaternionf q(odom_from_base.linear());
    frame.pose.position.x = odom_from_base.translation().x();
    frame.pose.position.y = odom_from_base.translation().y();
    frame.pose.orientation.z = q.z();
    frame.pose.orientation.w = q.w();
    frames.push_back(frame);
  }
  return frames;
}

void BM_UpdateAndDivide(benchmark::State& state)
{
  const Eigen::Isometry3f base_from_cam = scene::BaseFromCamera(0.2F, 0.35F, 0.17F);
  const std::vector<Frame> frames = MakeFrames(base_from_cam, 12);
  pelorin::perception::DynamicCloudDetector detector{YAML::Node()};
  detector.Init(base_from_cam.inverse().matrix(), kCamera.K(), kCamera.width, kCamera.height,
                4.5F);
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
