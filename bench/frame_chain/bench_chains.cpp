#include <algorithm>
#include <string>

#include "benchmarks.hpp"
#include "node_chain.hpp"
#include "pcl_baseline.hpp"

namespace frame_chain
{
namespace
{

void reportAccuracy(benchmark::State & state, const Accuracy & accuracy)
{
  state.counters["floor_as_ground"] = accuracy.floor_as_ground;
  state.counters["objects_as_obstacle"] = accuracy.objects_as_obstacle;
  state.counters["floor_points"] = accuracy.floor_points;
  state.counters["object_points"] = accuracy.object_points;
}

double count(const Verdicts & verdicts, scene::Verdict verdict)
{
  return static_cast<double>(std::count(verdicts.begin(), verdicts.end(), verdict));
}

// Depth to cloud, voxel grid, camera to base, ground removal, clustering and,
// with `motion`, the moving-point detector, which starts every round from
// the detector as the history left it (restoring it is not timed).
void Chain(benchmark::State & state, const FrameInput & input, Sampler how, bool motion)
{
  NodeChain chain(input);
  const pelorin::perception::DynamicCloudDetector primed = chain.detector;
  for (auto _ : state) {
    if (motion) {
      state.PauseTiming();
      chain.detector = primed;
      state.ResumeTiming();
    }
    chain.run(how, motion);
  }
  state.counters["depth_points"] = points(*chain.depth_cloud);
  state.counters["sampled"] = points(*chain.sampled);
  state.counters["obstacle"] = points(*chain.obstacle);
  state.counters["ground"] = points(*chain.ground);
  state.counters["clusters"] = static_cast<double>(chain.clusters.size());
  // Verdicts on the cloud ground removal is given, before it cleans it.
  chain.depthToCloud();
  chain.sample(how);
  chain.toBase();
  reportAccuracy(state, input.score(*chain.base, chain.verdicts(*chain.base)));
}

void reportBaseline(benchmark::State & state, const FrameInput & input, const PclBaseline & pcl,
  const Points & base)
{
  state.counters["obstacle"] = count(pcl.verdicts, scene::Verdict::kObstacle);
  state.counters["ground"] = count(pcl.verdicts, scene::Verdict::kGround);
  state.counters["clusters"] = static_cast<double>(pcl.clusters.size());
  reportAccuracy(state, input.score(base, pcl.verdicts));
}

// From the same depth message as our chain: the node's depth to cloud, then
// the PCL chain.
void PclChain(benchmark::State & state, const FrameInput & input)
{
  NodeChain chain(input);
  PclBaseline pcl(input);
  for (auto _ : state) {
    chain.depthToCloud();
    pcl.run(chain.depth_cloud);
  }
  state.counters["depth_points"] = points(*chain.depth_cloud);
  state.counters["sampled"] = points(*pcl.sampled);
  reportBaseline(state, input, pcl, *pcl.base);
}

// Only the stages that differ, on the base cloud our ground removal is given.
void PclGroundAndCluster(benchmark::State & state, const FrameInput & input)
{
  NodeChain chain(input);
  chain.depthToCloud();
  chain.sample(kNodeSampler);
  chain.toBase();
  PclBaseline pcl(input);
  for (auto _ : state) {
    pcl.groundAndClusters(chain.base);
  }
  reportBaseline(state, input, pcl, *chain.base);
}

}  // namespace

void registerChains(const FrameInput & input)
{
  for (const bool motion : {false, true}) {
    const std::string detector = motion ? "WithDetector" : "";
    registerFor("Chain" + detector, input,
      [motion](benchmark::State & state, const FrameInput & frame) {
        Chain(state, frame, kNodeSampler, motion);
      });
    registerFor("ChainPclVoxelGrid" + detector, input,
      [motion](benchmark::State & state, const FrameInput & frame) {
        Chain(state, frame, Sampler::kPclVoxelGrid, motion);
      });
  }
  registerFor("PclChain", input, PclChain);
  registerFor("PclGroundAndCluster", input, PclGroundAndCluster);
}

}  // namespace frame_chain
