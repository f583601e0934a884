// Deactivate / activate cycles while both cameras stream: no deadlock, each
// camera runs frames again after every activation, and memory stays flat.
#include <atomic>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <malloc.h>
#include <unistd.h>

#include "pipeline/pipeline_fixture.hpp"

namespace node_test
{
namespace
{

using sensor_msgs::msg::Image;

// Resident set size from /proc/self/statm, in bytes, once freed memory is
// back with the system: what the allocator keeps in reserve comes and goes
// with how frames happened to overlap.
long residentBytes()
{
  malloc_trim(0);
  long pages = 0;
  long resident = 0;
  std::ifstream("/proc/self/statm") >> pages >> resident;
  return resident * sysconf(_SC_PAGESIZE);
}

// The sanitizers' allocators hold freed memory back on purpose (ASan's leak
// check covers what the count would); the resident size says nothing there.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kResidentSizeTells = false;
#else
constexpr bool kResidentSizeTells = true;
#endif

class LifecycleCycles : public PipelineTest
{
};

TEST_F(LifecycleCycles, TwoHundredDeactivateActivateWhileTwoCamerasStream)
{
  constexpr int kCycles = 200;
  constexpr int kWarmUp = 20;
  constexpr long kSlack = 2L << 20;
  // Small frames: the allocator's scatter of big buffers would hide a leak.
  auto feeds = defaultFeeds(2);
  for (auto & feed : feeds) {
    feed.width = 160;
    feed.height = 100;
    feed.fx = 150.0;
    feed.fy = 152.5;
    feed.cx = 80.0;
    feed.cy = 50.0;
  }
  startNode({rclcpp::Parameter("debug", false)}, 1000.0, feeds);
  std::vector<rclcpp::Publisher<Image>::SharedPtr> colour, depth;
  for (const std::string camera : {"/camera_01", "/camera_02"}) {
    colour.push_back(harness_->peer()->create_publisher<Image>(camera + "/color/image_raw", 1));
    depth.push_back(harness_->peer()->create_publisher<Image>(camera + "/depth/image_raw", 1));
  }
  // Paired at once, so that no frame waits for its colour image.
  const auto rgb = std::make_shared<const Image>(makeImage("rgb8", 160, 100, 1000.0, 90));
  const auto wall = std::make_shared<const Image>(node_test::wall(1000.0, 1000, 160, 100));
  std::atomic<bool> streaming{true};
  std::atomic<bool> paused{false};
  std::thread streamer([&] {
      while (streaming.load()) {
        for (std::size_t i = 0; i < 2 && !paused.load(); ++i) {
          colour[i]->publish(*rgb);
          depth[i]->publish(*wall);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
      }
    });
  // Measured between frames, so that no frame in flight counts.
  const auto quietResident = [&] {
      paused.store(true);
      std::size_t before = 0;
      std::size_t after = 1;
      while (before != after) {
        before = camera(1)->framesDone() + camera(2)->framesDone();
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        after = camera(1)->framesDone() + camera(2)->framesDone();
      }
      const long bytes = residentBytes();
      paused.store(false);
      return bytes;
    };

  long warm = 0;
  int stalled = -1;
  for (int cycle = 0; cycle < kCycles && stalled < 0; ++cycle) {
    harness_->node()->deactivate();
    harness_->node()->activate();
    // The frame in flight at activation may count once; the one after it
    // began with the camera active.
    const std::size_t done[2] = {camera(1)->framesDone(), camera(2)->framesDone()};
    const bool ran = waitFor([&] {
          return camera(1)->framesDone() >= done[0] + 2 && camera(2)->framesDone() >= done[1] + 2;
        }, kFrameLimit);
    if (!ran) {
      stalled = cycle;
    }
    if (cycle + 1 == kWarmUp) {
      warm = quietResident();
    }
  }
  const long grown = quietResident() - warm;
  streaming.store(false);
  streamer.join();
  stopCapture();
  RecordProperty("resident_growth_bytes", std::to_string(grown));
  RecordProperty(
    "frames", std::to_string(camera(1)->framesDone() + camera(2)->framesDone()));
  EXPECT_EQ(stalled, -1) << "no frame ran after activation " << stalled;
  EXPECT_TRUE(camera(1)->isActive() && camera(2)->isActive());
  if (kResidentSizeTells) {
    EXPECT_LT(grown, kSlack) << grown << " bytes more after " << kCycles - kWarmUp << " cycles";
  }
}

}  // namespace
}  // namespace node_test
