// Rendering one 640 x 400 frame of the furnished room with a walker, the
// robot driving and turning; argument 1 adds depth noise and holes.
#include <benchmark/benchmark.h>

#include "scene/render.hpp"
#include "scene/stock_rooms.hpp"

namespace
{

void RenderFrame(benchmark::State & state)
{
  scene::Scene s;
  s.room = scene::furnishedRoom();
  s.room.objects.push_back(scene::person(100, {2.75f, 1.5f}, {0.0f, -1.0f}));
  s.room.objects.push_back(scene::bottle(101, {1.2f, -0.3f}, 0.4f));
  s.room.patches.push_back(scene::escalatorEntrance(102, {2.0f, 0.0f}, 0.0f));
  s.robot = scene::RobotPath([](double t) {
        return scene::Pose2{0.3f * static_cast<float>(t), 0.0f, 0.2f * static_cast<float>(t)};
      });
  scene::Camera camera;
  camera.base_from_optical = scene::mountPose(0.2f, 0.35f, 0.17f);
  if (state.range(0) != 0) {camera.noise = {0.002f, 0.0015f, 0.02f, 3};}
  s.cameras = {camera};
  int frame = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(scene::render(s, 0, 0.1 * (frame++ % 30)).depth.data);
  }
}
BENCHMARK(RenderFrame)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
