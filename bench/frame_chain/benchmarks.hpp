#pragma once

#include <string>

#include <benchmark/benchmark.h>

#include "frame_input.hpp"

// The benchmarks of one input frame, named "<benchmark>/<frame>".  The input
// must outlive the run.
namespace frame_chain
{

// Each stage alone, on the clouds the stages before it make.
void registerStages(const FrameInput & input);
// The chain back to back, with and without the moving-point detector, and
// the PCL baseline on the same clouds, with their accuracy.
void registerChains(const FrameInput & input);
// The whole process of the node, debug off (0) and on (1).
void registerProcess(const FrameInput & input);

// A cloud's size as a counter value.
inline double points(const Points & cloud)
{
  return static_cast<double>(cloud.size());
}

// `run(state, input)` as "<name>/<input name>", in microseconds.
template<typename Run>
benchmark::internal::Benchmark * registerFor(
  const std::string & name, const FrameInput & input, Run run)
{
  return benchmark::RegisterBenchmark(
    (name + "/" + input.name).c_str(),
    [&input, run](benchmark::State & state) {run(state, input);})
         ->Unit(benchmark::kMicrosecond);
}

}  // namespace frame_chain
