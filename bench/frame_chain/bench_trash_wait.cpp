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
#include <string>
#include <thread>
#include <vector>

#include <benchmark/benchmark.h>

#include "frame_input.hpp"
#include "running_node.hpp"

namespace frame_chain
{
namespace
{

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

// Frames the trash thread has finished, once it is done with the last one.
std::size_t trashFramesSettled(const RunningNode & node)
{
  std::this_thread::sleep_for(kTrashSettle);
  return node.camera().trashFramesDone();
}

void TrashWait(benchmark::State & state)
{
  static const FrameInput input = syntheticFrame();
  RunningNode node(input, false, trashParameters(static_cast<int>(state.range(0))));
  const std::size_t before = trashFramesSettled(node);
  for (auto _ : state) {
    state.SetIterationTime(node.frame());
  }
  const auto handed_in = static_cast<double>(trashFramesSettled(node) - before);
  state.counters["handed_in"] = handed_in;
  state.counters["skipped"] = static_cast<double>(state.iterations()) - handed_in;
}

// Long enough for a few dozen hand-offs per run.
BENCHMARK(TrashWait)->ArgName("trash")->Arg(kClosed)->Arg(kNoTrashClass)->Arg(kTrashClasses)
->UseManualTime()->MinTime(3.0)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace frame_chain
