// Labelling, merge and publishing of one frame's clusters: 20 obstacle
// clusters in front of the camera, 5 detections whose masks cover some of
// them, the coloured cloud and a semantic cloud of every record.
#include <memory>
#include <vector>

#include <benchmark/benchmark.h>
#include <Eigen/Geometry>
#include <opencv2/imgproc.hpp>

#include "quorvane_object_detect/cloud.hpp"
#include "quorvane_object_detect/colored_cloud.hpp"
#include "rclcpp/rclcpp.hpp"

namespace
{

using Points = pcl::PointCloud<pcl::PointXYZ>;
constexpr int kWidth = 640;
constexpr int kHeight = 400;
const std::array<float, 4> kIntrinsics{600.0F, 610.0F, 320.0F, 240.0F};

// Camera 0.5 m up looking along base x: optical z = base x, x = -base y, y = -base z + 0.5.
Eigen::Matrix4f baseToCamera()
{
  Eigen::Matrix4f m = Eigen::Matrix4f::Zero();
  m(0, 1) = -1.0F;
  m(1, 2) = -1.0F;
  m(1, 3) = 0.5F;
  m(2, 0) = 1.0F;
  m(3, 3) = 1.0F;
  return m;
}

struct Frame
{
  std::vector<Points> clusters;
  AiDetectResult detections;
};

// 20 upright 10 x 10 x 30 cm blocks of points on a 5 x 4 grid ahead; the
// first five carry a detection whose mask is their projected box.
Frame frame()
{
  Frame f;
  const Eigen::Matrix4f to_camera = baseToCamera();
  for (int i = 0; i < 20; ++i) {
    Points cluster;
    const float x0 = 1.0F + 0.3F * static_cast<float>(i / 5);
    const float y0 = -0.8F + 0.4F * static_cast<float>(i % 5);
    for (float dx = 0.0F; dx < 0.1F; dx += 0.025F) {
      for (float dy = 0.0F; dy < 0.1F; dy += 0.025F) {
        for (float z = 0.05F; z < 0.35F; z += 0.025F) {
          cluster.push_back({x0 + dx, y0 + dy, z});
        }
      }
    }
    if (i < 5) {
      BboxInfo box;
      box.mask = cv::Mat::zeros(kHeight, kWidth, CV_8UC1);
      cv::Rect area;
      for (const auto & p : cluster) {
        const Eigen::Vector4f c = to_camera * Eigen::Vector4f(p.x, p.y, p.z, 1.0F);
        const cv::Point pixel(
          static_cast<int>(c.x() * kIntrinsics[0] / c.z() + kIntrinsics[2]),
          static_cast<int>(c.y() * kIntrinsics[1] / c.z() + kIntrinsics[3]));
        area = area.empty() ? cv::Rect(pixel, cv::Size(1, 1)) : (area | cv::Rect(pixel, cv::Size(1, 1)));
      }
      box.mask(area & cv::Rect(0, 0, kWidth, kHeight)).setTo(255);
      box.x1 = area.x;
      box.y1 = area.y;
      box.x2 = area.x + area.width;
      box.y2 = area.y + area.height;
      box.class_id = 401;
      f.detections.bboxs_info.push_back(box);
    }
    f.clusters.push_back(cluster);
  }
  return f;
}

void LabelMergeAndPublish(benchmark::State & state)
{
  const Frame f = frame();
  const Cloud cloud(CloudPara{}, nullptr, nullptr);
  auto node = std::make_shared<rclcpp::Node>("bench_labelling");
  auto colour = node->create_publisher<sensor_msgs::msg::PointCloud2>("bench_colour", 1);
  std::size_t records = 0;
  for (auto _ : state) {
    std::vector<CloudInfo> labelled;
    cloud.cloudDynamicStaticSplit(
      f.clusters, f.detections, kIntrinsics, baseToCamera(), kWidth, kHeight, labelled);
    publishColoredCloud(labelled, colour, 1000.0);
    benchmark::DoNotOptimize(semanticPointCloud(labelled, 1, false, nullptr, 1000.0));
    records = labelled.size();
  }
  state.counters["records"] = static_cast<double>(records);
}
BENCHMARK(LabelMergeAndPublish)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char ** argv)
{
  benchmark::Initialize(&argc, argv);
  rclcpp::init(0, nullptr);
  benchmark::RunSpecifiedBenchmarks();
  rclcpp::shutdown();
  return 0;
}
