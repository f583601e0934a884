// The whole frame of the node, as WholeProcess times it, with the colour-patch
// model finding the synthetic frame's cup, bottle and person in every frame,
// while camera 1's trash thread
//   0: does not exist (trash detection closed on the camera),
//   1: is handed frames with no trash class configured,
//   2: is handed frames with the cup and the bottle as trash.
// No "cmd_vel" is published: each frame the thread takes keeps it waiting its
// 100 ms, and the depth callback must not feel it.  Run by hand, e.g.
//   bench_frame_chain --benchmark_filter=TrashWait --benchmark_repetitions=5
//     --benchmark_report_aggregates_only=true
#include <chrono>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <benchmark/benchmark.h>

#include "frame_input.hpp"
#include "pipeline_fixture.hpp"
#include "quorvane_object_detect/depth_camera.hpp"
#include "scene/ros_messages.hpp"
#include "scene/scene_publisher.hpp"

namespace frame_chain
{
namespace
{

using Clock = std::chrono::steady_clock;

// Longer than a handed-in frame keeps the trash thread busy.
constexpr auto kTrashSettle = std::chrono::milliseconds(300);

enum TrashMode { kClosed = 0, kNoTrashClass = 1, kTrashClasses = 2 };

std::vector<rclcpp::Parameter> trashParameters(int mode)
{
  // The build puts the demo meta file next to the ament prefix.
  std::vector<rclcpp::Parameter> parameters{
    {"model_meta_file",
      std::string(QUORVANE_AMENT_PREFIX) + "/../config/colour_patch_seg_meta.yaml"}};
  if (mode == kClosed) {
    parameters.emplace_back("trash_detection.close_cam1", true);
  } else if (mode == kTrashClasses) {
    parameters.emplace_back(
      "trash_detection.trash_class_type", std::vector<std::string>{"PAPER_CUP", "BOTTLE"});
  }
  return parameters;
}

// RunningNode's node with the model and the trash settings of `mode`, and
// "map" on tf2 for the trash thread.
class TrashNode
{
public:
  TrashNode(const FrameInput & input, int mode)
  : input_(input)
  {
    auto parameters = node_test::baseParameters(node_test::groundParameters(input.camera));
    const auto trash = trashParameters(mode);
    parameters.insert(parameters.end(), trash.begin(), trash.end());
    parameters.emplace_back("cameras", 1);
    parameters.emplace_back("use_sim_time", true);
    harness_ = std::make_unique<node_test::NodeHarness>(parameters);
    const scene::CameraTopics topics = scene::defaultTopics(1);
    const auto peer = harness_->peer();
    depth_ = peer->create_publisher<sensor_msgs::msg::Image>(topics.depth, rclcpp::QoS(1));
    colour_ = peer->create_publisher<sensor_msgs::msg::Image>(topics.colour, rclcpp::QoS(1));
    frames_ = std::make_unique<tf2_ros::StaticTransformBroadcaster>(peer);
    auto fixed = scene::fixedTransforms(scene::FrameTree(), kStamp);
    fixed.push_back(scene::robotTransform(scene::RobotPath(), 0.0, kStamp));
    frames_->sendTransform(fixed);
    harness_->start({node_test::feedOf(input.camera)});
    harness_->spin();
    harness_->setSimTime(kStamp);
    camera_ = harness_->node()->depthCameras().front().get();

    colour_->publish(*input.colour);
    spinUntil([this] {return camera_->rgbQueueSize() > 0;}, "the camera queued no colour image");
    for (const auto & earlier : input.history) {
      publishAndWait(*earlier);
    }
  }

  double frame() {return publishAndWait(*input_.depth);}

  // Frames the trash thread has finished, once it is done with the last one.
  std::size_t trashFramesSettled() const
  {
    std::this_thread::sleep_for(kTrashSettle);
    return camera_->trashFramesDone();
  }

private:
  template<typename Condition>
  static void spinUntil(Condition done, const char * failure)
  {
    const Clock::time_point end = Clock::now() + std::chrono::seconds(5);
    while (!done()) {
      if (Clock::now() > end) {
        throw std::runtime_error(failure);
      }
    }
  }

  double publishAndWait(const sensor_msgs::msg::Image & depth)
  {
    auto message = std::make_unique<sensor_msgs::msg::Image>(depth);
    const std::size_t before = camera_->framesDone();
    const Clock::time_point start = Clock::now();
    depth_->publish(std::move(message));
    spinUntil([&] {return camera_->framesDone() != before;}, "the camera left a depth frame");
    return std::chrono::duration<double>(Clock::now() - start).count();
  }

  const FrameInput & input_;
  std::unique_ptr<node_test::NodeHarness> harness_;
  rclcpp::Publisher<sensor_msgs::msg::Image>::SharedPtr depth_;
  rclcpp::Publisher<sensor_msgs::msg::Image>::SharedPtr colour_;
  std::unique_ptr<tf2_ros::StaticTransformBroadcaster> frames_;
  const DepthCamera * camera_ = nullptr;
};

void TrashWait(benchmark::State & state)
{
  static const FrameInput input = syntheticFrame();
  TrashNode node(input, static_cast<int>(state.range(0)));
  const std::size_t before = node.trashFramesSettled();
  for (auto _ : state) {
    state.SetIterationTime(node.frame());
  }
  const auto handed_in = static_cast<double>(node.trashFramesSettled() - before);
  state.counters["handed_in"] = handed_in;
  state.counters["skipped"] = static_cast<double>(state.iterations()) - handed_in;
}

// Long enough for a few dozen hand-offs per run.
BENCHMARK(TrashWait)->ArgName("trash")->Arg(kClosed)->Arg(kNoTrashClass)->Arg(kTrashClasses)
->UseManualTime()->MinTime(3.0)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace frame_chain
