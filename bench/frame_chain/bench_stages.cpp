#include "benchmarks.hpp"
#include "node_chain.hpp"

namespace frame_chain
{
namespace
{

void DepthToCloud(benchmark::State & state, const FrameInput & input)
{
  NodeChain chain(input);
  for (auto _ : state) {
    chain.depthToCloud();
  }
  state.counters["pixels_in"] = static_cast<double>(input.depth->width * input.depth->height);
  state.counters["points_out"] = points(*chain.depth_cloud);
}

// Times `stage` on what the stages before it left, and counts the points
// going in and out.
template<typename Stage>
void timeStage(benchmark::State & state, Stage stage, const Points & in, const Points & out)
{
  for (auto _ : state) {
    stage();
  }
  state.counters["points_in"] = points(in);
  state.counters["points_out"] = points(out);
}

void Sample(benchmark::State & state, const FrameInput & input, Sampler how)
{
  NodeChain chain(input);
  chain.depthToCloud();
  timeStage(state, [&] {chain.sample(how);}, *chain.depth_cloud, *chain.sampled);
}

void CamToBase(benchmark::State & state, const FrameInput & input)
{
  NodeChain chain(input);
  chain.depthToCloud();
  chain.sample(kNodeSampler);
  timeStage(state, [&] {chain.toBase();}, *chain.sampled, *chain.base);
}

// Ground removal cleans its input in place: every round starts from a copy
// of the transformed cloud, and the copy is timed with it (a few microseconds).
void RemoveGround(benchmark::State & state, const FrameInput & input)
{
  NodeChain chain(input);
  chain.depthToCloud();
  chain.sample(kNodeSampler);
  chain.toBase();
  const Points transformed = *chain.base;
  for (auto _ : state) {
    *chain.base = transformed;
    chain.removeGround();
  }
  state.counters["points_in"] = points(transformed);
  state.counters["obstacle_out"] = points(*chain.obstacle);
  state.counters["ground_out"] = points(*chain.ground);
}

void Cluster(benchmark::State & state, const FrameInput & input)
{
  NodeChain chain(input);
  chain.run(kNodeSampler, false);
  for (auto _ : state) {
    chain.cluster();
  }
  std::size_t clustered = 0;
  for (const Points & cluster : chain.clusters) {
    clustered += cluster.size();
  }
  state.counters["points_in"] = points(*chain.obstacle);
  state.counters["points_out"] = static_cast<double>(clustered);
  state.counters["clusters"] = static_cast<double>(chain.clusters.size());
}

// Every round starts from the detector as the history left it; restoring it
// is not timed.
void DynamicDetector(benchmark::State & state, const FrameInput & input)
{
  NodeChain chain(input);
  const pelorin::perception::DynamicCloudDetector primed = chain.detector;
  chain.run(kNodeSampler, false);
  for (auto _ : state) {
    state.PauseTiming();
    chain.detector = primed;
    state.ResumeTiming();
    chain.detectMotion();
  }
  Points moving, still;
  chain.detector.DivideCloud(*chain.obstacle, moving, still);
  state.counters["points_in"] = points(*chain.obstacle);
  state.counters["moving_out"] = points(moving);
}

}  // namespace

void registerStages(const FrameInput & input)
{
  registerFor("DepthToCloud", input, DepthToCloud);
  registerFor("PclVoxelGrid", input, [](benchmark::State & state, const FrameInput & frame) {
      Sample(state, frame, Sampler::kPclVoxelGrid);
    });
  registerFor("VoxelGridFilter", input, [](benchmark::State & state, const FrameInput & frame) {
      Sample(state, frame, Sampler::kVoxelGridFilter);
    });
  registerFor("CamToBase", input, CamToBase);
  registerFor("RemoveGround", input, RemoveGround);
  registerFor("Cluster", input, Cluster);
  registerFor("DynamicDetector", input, DynamicDetector);
}

}  // namespace frame_chain
