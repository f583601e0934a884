// Update + Publish of the trash tracker holding 100 confirmed tracks.

#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "pelorin/perception/trash_tracker.hpp"
#include "rclcpp/rclcpp.hpp"

namespace
{

using pelorin::perception::ObjectInfo;
using quorvane_protocol::msg::DetectedWastes;
using visualization_msgs::msg::MarkerArray;

constexpr int kTracks = 100;

ObjectInfo Trash(int i)
{
  ObjectInfo info;
  info.position[0] = 1.0 + 0.5 * (i % 10);
  info.position[1] = -2.5 + 0.5 * (i / 10);
  info.position[2] = 0.03;
  info.distance = 1.0F;
  info.class_id = 400 + i % 3;
  info.size = {0.2F, 0.07F, 0.07F};
  return info;
}

// arg: observations per frame.
void BM_UpdateAndPublish(benchmark::State& state)
{
  rclcpp::init(0, nullptr);
  {
    auto node = rclcpp::Node::make_shared("trash_tracker_bench");
    auto wastes_pub = node->create_publisher<DetectedWastes>("detected_wastes", rclcpp::QoS(1));
    auto marker_pub = node->create_publisher<MarkerArray>("trash_marker", rclcpp::QoS(1));
    auto wastes_sub = node->create_subscription<DetectedWastes>(
      "detected_wastes", rclcpp::QoS(1), [](DetectedWastes::ConstSharedPtr) {});
    auto marker_sub = node->create_subscription<MarkerArray>(
      "trash_marker", rclcpp::QoS(1), [](MarkerArray::ConstSharedPtr) {});
    const std::string config = "/tmp/bench_trash_tracker.yaml";
    std::ofstream(config) << "max_tracks: 1000\n";
    pelorin::perception::TrashTracker tracker(config, wastes_pub, marker_pub);
    geometry_msgs::msg::Pose camera;
    camera.position.x = 0.2;
    camera.position.z = 0.3;
    camera.orientation.x = -0.5;
    camera.orientation.y = 0.5;
    camera.orientation.z = -0.5;
    camera.orientation.w = 0.5;
    tracker.AddCamera(camera, 640, 480, {400.0F, 320.0F, 400.0F, 240.0F});
    // Facing away: every track is checked against the view, none is expected in it, so
    // all 100 stay whichever few a frame reports.
    geometry_msgs::msg::Pose robot;
    robot.orientation.z = 1.0;
    robot.orientation.w = 0.0;
    std::vector<ObjectInfo> all;
    for (int i = 0; i < kTracks; ++i) {
      all.push_back(Trash(i));
    }
    for (int i = 0; i < 3; ++i) {
      tracker.Update(all, robot);
    }
    const int per_frame = static_cast<int>(state.range(0));
    int next = 0;
    for (auto _ : state) {
      std::vector<ObjectInfo> frame;
      for (int i = 0; i < per_frame; ++i) {
        frame.push_back(Trash(next++ % kTracks));
      }
      tracker.Update(frame, robot);
      tracker.Publish();
    }
    state.counters["tracks"] = static_cast<double>(tracker.ConfirmedCount());
  }
  rclcpp::shutdown();
}
BENCHMARK(BM_UpdateAndPublish)->Arg(5)->Arg(100)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
