// The whole frame of the node, as WholeProcess times it, with the
// random-weight YOLOv8n-seg run inline on the synthetic frame's colour image
// at a 640 x 640 and a 320 x 320 input, OpenCV on one thread.  Run by hand, e.g.
//   bench_frame_chain --benchmark_filter=WholeProcessYolov8n --benchmark_repetitions=5
//     --benchmark_report_aggregates_only=true
#include <string>

#include <benchmark/benchmark.h>
#include <opencv2/core.hpp>

#include "frame_input.hpp"
#include "running_node.hpp"

namespace frame_chain
{
namespace
{

void WholeProcessYolov8n(benchmark::State & state)
{
  static const FrameInput input = syntheticFrame();
  const std::string meta = state.range(0) == 640 ? YOLOV8N_640_META : YOLOV8N_320_META;
  if (meta.empty()) {
    state.SkipWithError("YOLOv8n-seg not generated (python3-torch missing)");
    return;
  }
  // The meta file sets OpenCV's thread count for the whole process; the
  // benchmarks after this one get theirs back.
  const int threads = cv::getNumThreads();
  {
    RunningNode node(input, false, {{"model_meta_file", meta}});
    for (auto _ : state) {
      state.SetIterationTime(node.frame());
    }
  }
  cv::setNumThreads(threads);
  state.SetLabel("publish to frames done, bus hand-over included");
}

BENCHMARK(WholeProcessYolov8n)->ArgName("input")->Arg(640)->Arg(320)->UseManualTime()
->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace frame_chain
