#include "benchmarks.hpp"
#include "running_node.hpp"

namespace frame_chain
{
namespace
{

// One frame through the node's depth callback without a model: from
// publishing the depth image until the camera counts the frame done.  Timed
// by hand, so the in-process bus hand-over to the executor thread is in it.
void WholeProcess(benchmark::State & state, const FrameInput & input)
{
  RunningNode node(input, state.range(0) != 0);
  for (auto _ : state) {
    state.SetIterationTime(node.frame());
  }
  state.SetLabel("publish to frames done, bus hand-over included");
}

}  // namespace

void registerProcess(const FrameInput & input)
{
  registerFor("WholeProcess", input, WholeProcess)->ArgName("debug")->Arg(0)->Arg(1)
  ->UseManualTime();
}

}  // namespace frame_chain
