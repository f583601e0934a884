// The escalator region's parts that need no camera: inflation, the detection
// window, the bounded history, and the hand-over between the depth callback
// and the region worker.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <future>
#include <limits>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "quorvane_object_detect/dangerous_region.hpp"

namespace
{

using Cloud = pcl::PointCloud<pcl::PointXYZ>;

TEST(DangerousRegion, DilateCloudGivesEachPointThenItsFourNeighbours)
{
  struct Case
  {
    std::size_t points;
    float d;
  };
  for (const Case c : {Case{0, 0.1F}, Case{1, 0.1F}, Case{3, 0.25F}, Case{2, 0.0F}}) {
    auto in = std::make_shared<Cloud>();
    for (std::size_t i = 0; i < c.points; ++i) {
      pcl::PointXYZ p(1.0F + i, -2.0F * i, 0.5F);
      p.data[3] = 7.0F;  // the point itself keeps all four floats
      in->push_back(p);
    }
    auto out = std::make_shared<Cloud>();
    out->header.frame_id = "kept";
    out->push_back({9.0F, 9.0F, 9.0F});  // left from an earlier frame
    out->is_dense = false;
    dilateCloud(in, out, c.d);

    ASSERT_EQ(out->size(), 5 * c.points) << c.points;
    EXPECT_EQ(out->width, 5 * c.points);
    EXPECT_EQ(out->height, 1U);
    EXPECT_TRUE(out->is_dense);
    EXPECT_EQ(out->header.frame_id, "kept");
    for (std::size_t i = 0; i < c.points; ++i) {
      const pcl::PointXYZ & p = (*in)[i];
      const float expected[5][4] = {
        {p.x, p.y, p.z, 7.0F}, {p.x + c.d, p.y, p.z, 1.0F}, {p.x - c.d, p.y, p.z, 1.0F},
        {p.x, p.y + c.d, p.z, 1.0F}, {p.x, p.y - c.d, p.z, 1.0F}};
      for (std::size_t k = 0; k < 5; ++k) {
        for (std::size_t f = 0; f < 4; ++f) {
          EXPECT_EQ((*out)[5 * i + k].data[f], expected[k][f]) << i << " " << k << " " << f;
        }
      }
    }
  }
}

TEST(DangerousRegion, OnlyCamerasOneAndTwoOrCameraTwoKeepAHistory)
{
  struct Case
  {
    int camera;
    bool two, runs;
  };
  for (const Case c : {Case{1, true, true}, Case{2, true, true}, Case{3, true, false},
      Case{0, true, false}, Case{1, false, false}, Case{2, false, true}, Case{3, false, false}})
  {
    EXPECT_EQ(runsDangerousRegion(c.camera, c.two), c.runs) << c.camera << " " << c.two;
  }
}

// Windows as strings of runs: 'd' a detection, '.' none.
std::vector<int> clearsOf(const std::string & runs, int window, std::vector<bool> & status)
{
  std::vector<int> clears;
  for (std::size_t i = 0; i < runs.size(); ++i) {
    if (windowWithoutDetection(status, runs[i] == 'd', window)) {
      clears.push_back(static_cast<int>(i));
    }
  }
  return clears;
}

TEST(DangerousRegion, WindowWithoutDetectionClearsTheHistoryAtItsLastRun)
{
  const std::string none20(20, '.');
  struct Case
  {
    const char * name;
    int window;
    std::string runs;
    std::vector<int> clears;
  };
  const std::vector<Case> cases{
    {"twenty without", 20, none20, {19}},
    {"nineteen without", 20, none20.substr(1), {}},
    {"one detection within", 20, none20.substr(0, 7) + "d" + none20.substr(8), {}},
    {"detection last", 20, none20.substr(1) + "d", {}},
    {"count restarts", 20, "d" + none20.substr(1) + none20, {39}},
    {"windows do not overlap", 20, none20.substr(5) + "d" + none20 + none20.substr(4), {39}},
    {"window of one", 1, "..d.d", {0, 1, 3}},
    {"window of none", 0, std::string(50, '.'), {}},
    {"negative window", -3, std::string(50, '.'), {}},
  };
  for (const auto & c : cases) {
    std::vector<bool> status;
    EXPECT_EQ(clearsOf(c.runs, c.window, status), c.clears) << c.name;
    // Entries count from the last window's end; a window that never ends keeps none.
    EXPECT_LT(status.size(), static_cast<std::size_t>(std::max(c.window, 1))) << c.name;
  }
}

Cloud cloudOf(const std::vector<pcl::PointXYZ> & points)
{
  Cloud cloud;
  for (const auto & p : points) {
    cloud.push_back(p);
  }
  cloud.height = 7;  // boundHistory must make it one row
  return cloud;
}

std::vector<float> xsOf(const Cloud & cloud)
{
  std::vector<float> xs;
  for (const auto & p : cloud) {
    xs.push_back(p.x);
  }
  return xs;
}

TEST(DangerousRegion, BoundHistoryKeepsTheNewestPointOfEachCellUpToTheCap)
{
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const Eigen::Vector3f leaf(0.1F, 0.1F, 0.1F);
  struct Case
  {
    const char * name;
    std::vector<pcl::PointXYZ> points;  // newest first
    std::size_t cap;
    std::vector<float> kept_x;
  };
  const std::vector<Case> cases{
    {"one per cell, the first", {{0.01F, 0, 0}, {0.05F, 0.09F, 0.02F}, {0.12F, 0, 0}}, 10,
      {0.01F, 0.12F}},
    {"cells either side of zero", {{-0.01F, 0, 0}, {0.01F, 0, 0}, {0.02F, -0.01F, 0}}, 10,
      {-0.01F, 0.01F, 0.02F}},
    {"cells apart in z", {{0.01F, 0, 0.01F}, {0.02F, 0, 0.15F}}, 10, {0.01F, 0.02F}},
    {"oldest over the cap go", {{0.05F, 0, 0}, {0.15F, 0, 0}, {0.25F, 0, 0}, {0.35F, 0, 0}}, 2,
      {0.05F, 0.15F}},
    {"duplicates do not use the cap", {{0.05F, 0, 0}, {0.06F, 0, 0}, {0.25F, 0, 0}}, 2,
      {0.05F, 0.25F}},
    {"non-finite points go", {{nan, 0, 0}, {0.3F, INFINITY, 0}, {0.05F, 0, 0}}, 10, {0.05F}},
    {"far from the origin", {{1e6F, 0, 0}, {1e6F + 0.25F, 0, 0}}, 10, {1e6F, 1e6F + 0.25F}},
  };
  for (const auto & c : cases) {
    Cloud cloud = cloudOf(c.points);
    cloud.is_dense = false;
    boundHistory(cloud, leaf, c.cap);
    EXPECT_EQ(xsOf(cloud), c.kept_x) << c.name;
    EXPECT_EQ(cloud.width, cloud.size()) << c.name;
    EXPECT_EQ(cloud.height, 1U) << c.name;
    EXPECT_TRUE(cloud.is_dense) << c.name;
  }
}

// A robot passing entrance after entrance: every frame brings a new patch of
// floor.  The history, merged and bounded as the stage does it, stops growing
// at the cap and keeps the newest patches.
TEST(DangerousRegion, BoundedHistoryStaysFlatOverALongRun)
{
  const Eigen::Vector3f leaf(0.025F, 0.025F, 0.025F);
  const std::size_t cap = kDangerousHistoryMaxPoints;
  Cloud history;
  std::vector<std::size_t> sizes;
  const int frames = 100;
  for (int frame = 0; frame < frames; ++frame) {
    Cloud merged;
    // 40 x 40 cells of floor, a metre further each frame, four points a cell.
    for (int i = 0; i < 80; ++i) {
      for (int j = 0; j < 80; ++j) {
        merged.push_back({1.0F * frame + 0.0125F * i + 0.001F, 0.0125F * j + 0.001F, 0.0F});
      }
    }
    merged += history;
    boundHistory(merged, leaf, cap);
    history = merged;
    sizes.push_back(history.size());
  }
  EXPECT_EQ(sizes.front(), 1600U);
  EXPECT_EQ(sizes[11], 12 * 1600U);
  EXPECT_EQ(sizes.back(), cap);
  EXPECT_LE(*std::max_element(sizes.begin(), sizes.end()), cap);
  // The newest frame's patch comes first and is whole.
  EXPECT_FLOAT_EQ(history.front().x, frames - 1 + 0.001F);
  EXPECT_GE(history.back().x, static_cast<float>(frames - 1 - cap / 1600));
}

// The two sides of the hand-over, as the camera wires them.
struct Worker
{
  std::mutex mutex;
  std::condition_variable cv;
  std::atomic<bool> idle{true};
  std::atomic<bool> stop{false};
  RegionHandOver hand_over{mutex, cv, idle, stop};
};

TEST(DangerousRegion, HandOverOnlyToAnIdleWorkerWhoseLockIsFree)
{
  struct Case
  {
    const char * name;
    bool idle, locked, handed;
  };
  for (const Case c : {Case{"idle and free", true, false, true},
      Case{"busy", false, false, false}, Case{"lock held", true, true, false}})
  {
    Worker worker;
    worker.idle = c.idle;
    std::promise<void> locked, release;
    std::thread holder;
    if (c.locked) {
      holder = std::thread([&] {
            std::lock_guard<std::mutex> lock(worker.mutex);
            locked.set_value();
            release.get_future().wait();
          });
      locked.get_future().wait();
    }
    bool filled = false;
    // A hand-over that waited for the lock would never return while it is held.
    auto attempt = std::async(std::launch::async, [&] {
          return tryHandOver(worker.hand_over, [&] {filled = true;});
        });
    const bool returned = attempt.wait_for(std::chrono::seconds(60)) == std::future_status::ready;
    if (c.locked) {
      release.set_value();
      holder.join();
    }
    ASSERT_TRUE(returned) << c.name;
    EXPECT_EQ(attempt.get(), c.handed) << c.name;
    EXPECT_EQ(filled, c.handed) << c.name;
    EXPECT_EQ(worker.idle.load(), c.idle && !c.handed) << c.name;
  }
}

bool becomesIdle(const Worker & worker)
{
  for (int i = 0; i < 6000 && !worker.idle.load(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return worker.idle.load();
}

TEST(DangerousRegion, WorkerSurvivesAThrowingFrameAndStopsOnTheFlag)
{
  Worker worker;
  std::atomic<int> frames{0};
  testing::internal::CaptureStdout();
  std::thread thread([&] {
      serveHandOvers(worker.hand_over, 7, [&] {
        if (frames.fetch_add(1) == 0) {
          throw std::runtime_error("no memory for the region");
        }
      });
    });
  for (int frame = 0; frame < 2; ++frame) {
    ASSERT_TRUE(tryHandOver(worker.hand_over, [] {})) << frame;
    ASSERT_TRUE(becomesIdle(worker)) << frame;
  }
  {
    std::lock_guard<std::mutex> lock(worker.mutex);
    worker.stop = true;
  }
  worker.cv.notify_all();
  thread.join();
  const std::string log = testing::internal::GetCapturedStdout();
  EXPECT_EQ(frames.load(), 2);
  EXPECT_NE(log.find(" [ERROR] cam_7 dangerous region dropped: no memory for the region\n"),
    std::string::npos) << log;
  EXPECT_EQ(log.find("ERROR", log.find("ERROR") + 1), std::string::npos) << log;
}

}  // namespace
