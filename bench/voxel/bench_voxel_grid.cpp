// Voxel sampling of one depth frame as the node does it: 2.5 cm leaves, at
// least 5 points a voxel.  Frames: the generator's cluttered room seen by a
// 640 x 400 camera at pixel stride 2; the same camera pitched down until
// every pixel returns (the most points a frame can hold); the recorded frames
// at stride 2.  Depths below 2 m throughout.
#include <benchmark/benchmark.h>

#include <pcl/filters/voxel_grid.h>

#include "pelorin/perception/voxel_grid_filter.hpp"
#include "recorded_frames.hpp"
#include "scene/cloud.hpp"
#include "scene/render.hpp"
#include "scene/stock_rooms.hpp"

namespace {

using Cloud = pcl::PointCloud<pcl::PointXYZ>;

constexpr float kLeaf = 0.025f;
constexpr unsigned kMinPoints = 5;
constexpr int kStride = 2;
constexpr float kMaxDepth = 2.0f;
constexpr int kSyntheticFrames = 8;

enum FrameSet { kRoom, kFullView, kRecorded };

// The room with 5 mm depth noise, seen from 0.35 m above the floor.
std::vector<Cloud> rendered(float pitch_down) {
  const scene::Room room = scene::clutteredRoom();
  scene::Camera camera;
  camera.base_from_optical = scene::mountPose(0.1f, 0.35f, pitch_down);
  camera.noise.sigma = 0.005f;
  std::vector<Cloud> clouds;
  for (int i = 0; i < kSyntheticFrames; ++i) {
    camera.noise.seed = 100 + i;
    clouds.push_back(scene::depthCloud(scene::render(room, camera), camera, kStride, kMaxDepth).cloud);
  }
  return clouds;
}

std::vector<Cloud> recordedClouds() {
  std::vector<Cloud> clouds;
  const std::string folder = recorded::dataFolder();
  if (folder.empty()) return clouds;
  for (const recorded::DepthFrame& frame : recorded::listFrames(folder)) {
    clouds.push_back(recorded::loadCloud(frame, kStride, kMaxDepth));
  }
  return clouds;
}

const std::vector<Cloud>& frames(int set) {
  static const std::vector<Cloud> room = rendered(0.45f);
  static const std::vector<Cloud> full_view = rendered(1.1f);  // the top row meets the floor within 2 m
  static const std::vector<Cloud> recorded_frames = recordedClouds();
  return set == kRoom ? room : set == kFullView ? full_view : recorded_frames;
}

// Runs `sample(in, out)` over the frames of the set in turn.
template <typename Sample>
void sampleFrames(benchmark::State& state, Sample&& sample) {
  const std::vector<Cloud>& clouds = frames(static_cast<int>(state.range(0)));
  if (clouds.empty()) {
    state.SkipWithError("recorded RGB-D frames not found");
    return;
  }
  Cloud out;
  std::size_t frame = 0, points_in = 0, points_out = 0;
  for (auto _ : state) {
    const Cloud& in = clouds[frame++ % clouds.size()];
    sample(in, out);
    points_in += in.size();
    points_out += out.size();
  }
  state.counters["points_in"] = benchmark::Counter(static_cast<double>(points_in), benchmark::Counter::kAvgIterations);
  state.counters["points_out"] = benchmark::Counter(static_cast<double>(points_out), benchmark::Counter::kAvgIterations);
}

void PclVoxelGrid(benchmark::State& state) {
  pcl::VoxelGrid<pcl::PointXYZ> grid;
  grid.setLeafSize(kLeaf, kLeaf, kLeaf);
  grid.setMinimumPointsNumberPerVoxel(kMinPoints);
  // The node hands over a shared cloud; wrapping a frame without copying it
  // keeps the copy out of the measurement.
  sampleFrames(state, [&grid](const Cloud& in, Cloud& out) {
    grid.setInputCloud(Cloud::ConstPtr(&in, [](const Cloud*) {}));
    grid.filter(out);
  });
}

void VoxelGridFilter(benchmark::State& state) {
  pelorin::perception::VoxelGridFilter grid(kLeaf, kLeaf, kLeaf, kMinPoints);
  sampleFrames(state, [&grid](const Cloud& in, Cloud& out) { grid.filter(in, out); });
}

// Medians over repetitions: other work on the machine makes single runs noisy.
BENCHMARK(PclVoxelGrid)->DenseRange(kRoom, kRecorded)->Repetitions(9)->ReportAggregatesOnly(true)->Unit(benchmark::kMicrosecond);
BENCHMARK(VoxelGridFilter)->DenseRange(kRoom, kRecorded)->Repetitions(9)->ReportAggregatesOnly(true)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
