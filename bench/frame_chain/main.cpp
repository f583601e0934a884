// The geometric chain of a depth frame: each stage, the chain back to back,
// a PCL baseline and the whole node process, on a synthetic frame and on
// the recorded frames.  Run by hand, e.g.
//   bench_frame_chain --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
#include <cstdlib>
#include <vector>

#include <benchmark/benchmark.h>

#include "benchmarks.hpp"
#include "rclcpp/rclcpp.hpp"

int main(int argc, char ** argv)
{
  // The node's logger reads these once, at its first line.
  setenv("SPDLOG_STDOUT", "true", 1);
  setenv("SPDLOG_SYSTEMD", "false", 1);
  setenv("SPDLOG_LEVEL", "error", 1);
  // The node and the chain look their configuration files up here.
  setenv("AMENT_PREFIX_PATH", QUORVANE_AMENT_PREFIX, 1);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
    return 1;
  }
  rclcpp::init(0, nullptr);
  std::vector<frame_chain::FrameInput> inputs = frame_chain::recordedFrames();
  inputs.insert(inputs.begin(), frame_chain::syntheticFrame());
  for (const frame_chain::FrameInput & input : inputs) {
    frame_chain::registerStages(input);
    frame_chain::registerChains(input);
    frame_chain::registerProcess(input);
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  rclcpp::shutdown();
  return 0;
}
