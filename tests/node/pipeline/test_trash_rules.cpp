// Trash detection without a camera: the hand-off never waits, a failing frame
// does not end the thread, and the per-frame and per-box rules at their limits.
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <limits>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <Eigen/Geometry>
#include <gtest/gtest.h>

#include "quorvane_object_detect/trash_detection.hpp"
#include "semantic.pb.h"

namespace
{

using semantic::BASE;
using semantic::PAPER_CUP;
using semantic::WAITING_BENCH;
using Record = DepthCamera::TrashThreadInputPara;

BboxInfo box(int class_id, int x1 = 10, int y1 = 10, int x2 = 20, int y2 = 20)
{
  return {x1, y1, x2, y2, cv::Mat(), {}, 0.0F, class_id};
}

// Polls `condition` for up to 10 s.
bool eventually(const std::function<bool()> & condition)
{
  for (int i = 0; i < 1000 && !condition(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return condition();
}

std::size_t occurrences(const std::string & text, const std::string & line)
{
  std::size_t count = 0;
  for (auto at = text.find(line); at != std::string::npos; at = text.find(line, at + 1)) {
    ++count;
  }
  return count;
}

// A camera's hand-off state, free for the test to hold.
struct HandOffState
{
  std::mutex mutex;
  std::condition_variable cv;
  std::atomic<bool> idle{true};
  std::atomic<bool> stop{false};
  std::atomic<std::size_t> frames_done{0};
  Record record;
  TrashHandOff handOff() {return {mutex, cv, idle, stop, frames_done, record};}
};

AiDetectResult detection(std::size_t boxes)
{
  AiDetectResult result;
  result.bboxs_info.assign(boxes, box(PAPER_CUP));
  result.stamp = 12.5;
  return result;
}

class TrashRules : public ::testing::Test
{
protected:
  void SetUp() override {setenv("SPDLOG_LEVEL", "debug", 1);}
};

TEST_F(TrashRules, HandOffTakesFramesOnlyFromAnIdleFreeThread)
{
  struct Case
  {
    const char * name;
    bool idle;
    std::size_t boxes;
    bool mutex_held;
    bool handed_in;
  };
  const std::vector<Case> cases{
    {"idle", true, 2, false, true},
    {"no detections", true, 0, false, false},
    {"busy", false, 2, false, false},
    {"mutex held", true, 2, true, false},
  };
  for (const auto & c : cases) {
    HandOffState state;
    state.idle = c.idle;
    auto depth = std::make_shared<sensor_msgs::msg::Image>();
    // The holder lets go once the offer has returned, or after a long while
    // should the offer wait for it: then the offer would take the frame.
    std::atomic<bool> offered{false};
    std::atomic<bool> holding{false};
    std::thread holder;
    if (c.mutex_held) {
      holder = std::thread([&] {
            std::unique_lock<std::mutex> lock(state.mutex);
            holding = true;
            eventually([&] {return offered.load();});
          });
      ASSERT_TRUE(eventually([&] {return holding.load();}));
    }
    const bool handed_in = offerTrashFrame(state.handOff(), depth, detection(c.boxes));
    offered = true;
    if (holder.joinable()) {
      holder.join();
    }
    EXPECT_EQ(handed_in, c.handed_in) << c.name;
    EXPECT_EQ(state.idle.load(), c.idle && !c.handed_in) << c.name;
    EXPECT_EQ(state.record.bboxs_info.size(), c.handed_in ? c.boxes : 0U) << c.name;
    EXPECT_EQ(state.record.depth, c.handed_in ? depth : nullptr) << c.name;
  }
}

TEST_F(TrashRules, FailingFrameCostsOnlyThatFrame)
{
  HandOffState state;
  std::vector<std::size_t> done;
  std::thread worker([&] {
      runTrashThread(
        state.handOff(), [&done](Record & record) {
          if (record.stamp == 1.0) {
            throw std::runtime_error("unreadable depth");
          }
          if (record.stamp == 2.0) {
            throw 2;
          }
          done.push_back(record.bboxs_info.size());
        }, 7);
    });
  testing::internal::CaptureStdout();
  for (double stamp : {1.0, 2.0, 3.0}) {
    AiDetectResult frame = detection(1);
    frame.stamp = stamp;
    const std::size_t before = state.frames_done;
    ASSERT_TRUE(offerTrashFrame(state.handOff(), nullptr, frame)) << stamp;
    ASSERT_TRUE(eventually([&] {return state.frames_done != before;})) << stamp;
    EXPECT_TRUE(state.idle) << stamp;
  }
  {
    std::lock_guard<std::mutex> lock(state.mutex);
    state.stop = true;
  }
  state.cv.notify_all();
  worker.join();
  const std::string log = testing::internal::GetCapturedStdout();
  EXPECT_EQ(occurrences(log, "[ERROR] cam_7 trash frame dropped: unreadable depth"), 1U) << log;
  EXPECT_EQ(occurrences(log, "[ERROR] cam_7 trash frame dropped: unknown error"), 1U) << log;
  EXPECT_EQ(done, std::vector<std::size_t>{1U});
}

TEST_F(TrashRules, TurnRateGate)
{
  const struct
  {
    double angular_z;
    bool too_fast;
  } cases[] = {{0.6, true}, {-0.6, true}, {0.5, false}, {-0.5, false}, {std::nan(""), false}};
  for (const auto & c : cases) {
    EXPECT_EQ(turnsTooFast(c.angular_z, 0.5F), c.too_fast) << c.angular_z;
  }
}

TEST_F(TrashRules, SelectionTakesTrashBeforeBases)
{
  const std::vector<BboxInfo> boxes{
    box(BASE), box(PAPER_CUP), box(semantic::PERSON), box(WAITING_BENCH)};
  const struct
  {
    std::set<int> trash_classes;
    std::vector<int> trash;
    std::vector<int> bases;
  } cases[] = {
    {{}, {}, {BASE, WAITING_BENCH}},
    {{PAPER_CUP}, {PAPER_CUP}, {BASE, WAITING_BENCH}},
    {{PAPER_CUP, BASE}, {BASE, PAPER_CUP}, {WAITING_BENCH}},
  };
  const auto classes = [](const std::vector<BboxInfo> & list) {
      std::vector<int> ids;
      for (const auto & b : list) {
        ids.push_back(b.class_id);
      }
      return ids;
    };
  for (const auto & c : cases) {
    const TrashSelection selection = selectTrashBoxes(boxes, c.trash_classes, 1);
    EXPECT_EQ(classes(selection.trash), c.trash) << c.trash_classes.size();
    EXPECT_EQ(classes(selection.base_or_waiting), c.bases) << c.trash_classes.size();
  }
}

TEST_F(TrashRules, BorderRule)
{
  const struct
  {
    BboxInfo box;
    bool near;
  } cases[] = {
    {box(PAPER_CUP, 5, 5, 635, 475), false},
    {box(PAPER_CUP, 4, 5, 635, 475), true},
    {box(PAPER_CUP, 5, 4, 635, 475), true},
    {box(PAPER_CUP, 5, 5, 636, 475), true},
    {box(PAPER_CUP, 5, 5, 635, 476), true},
  };
  for (const auto & c : cases) {
    EXPECT_EQ(nearImageBorder(c.box, 5, 640, 480), c.near)
      << c.box.x1 << " " << c.box.y1 << " " << c.box.x2 << " " << c.box.y2;
  }
}

TEST_F(TrashRules, RangeLimitIsKept)
{
  EXPECT_FALSE(beyondTrashRange(2.0F, 1.5F));
  EXPECT_TRUE(beyondTrashRange(std::nextafter(2.0F, 3.0F), 1.5F));
}

// n points whose base-frame footprint is 0.3 m along y and 0.1 m along x,
// 0.04 m high, seen by a camera looking along the base x axis.
pcl::PointCloud<pcl::PointXYZ> footprint(int n, const Eigen::Matrix4f & cam_to_base)
{
  const Eigen::Matrix4f base_to_cam = cam_to_base.inverse();
  pcl::PointCloud<pcl::PointXYZ> cloud;
  for (int i = 0; i < n; ++i) {
    Eigen::Vector4f base(1.05F, 0.15F, 0.02F, 1.0F);
    if (i < 4) {
      base.x() = 1.0F + 0.1F * static_cast<float>(i % 2);
      base.y() = 0.3F * static_cast<float>(i / 2);
      base.z() = 0.04F * static_cast<float>(i % 2);
    }
    const Eigen::Vector4f camera = base_to_cam * base;
    cloud.push_back({camera.x(), camera.y(), camera.z()});
  }
  return cloud;
}

TEST_F(TrashRules, PointsNeededForPositionAndSize)
{
  Eigen::Matrix4f cam_to_base = Eigen::Matrix4f::Identity();
  cam_to_base.block<3, 3>(0, 0) << 0, 0, 1, -1, 0, 0, 0, -1, 0;  // optical to base axes
  cam_to_base.block<3, 1>(0, 3) << 0.1F, 0.0F, 0.35F;
  const struct
  {
    int points;
    bool placed;
    bool measured;
  } cases[] = {{4, false, false}, {5, true, false}, {19, true, false}, {20, true, true}};
  for (const auto & c : cases) {
    const auto cloud = footprint(c.points, cam_to_base);
    const auto centroid = trashCentroid(cloud);
    ASSERT_EQ(centroid.has_value(), c.placed) << c.points;
    if (c.placed) {
      Eigen::Vector3f mean = Eigen::Vector3f::Zero();
      for (const auto & p : cloud) {
        mean += p.getVector3fMap();
      }
      EXPECT_TRUE(centroid->isApprox(Eigen::Vector4f(
          mean.x() / c.points, mean.y() / c.points, mean.z() / c.points, 1.0F))) << c.points;
    }
    const auto size = measureWasteSize(cloud, cam_to_base);
    ASSERT_EQ(size.has_value(), c.measured) << c.points;
    if (c.measured) {
      EXPECT_NEAR((*size)[0], 0.3F, 1e-4F);
      EXPECT_NEAR((*size)[1], 0.1F, 1e-4F);
      EXPECT_NEAR((*size)[2], 0.04F, 1e-4F);
    }
  }
}

TEST_F(TrashRules, RegionDecision)
{
  const std::map<int32_t, semantic::HeightRange> heights{{PAPER_CUP, {0.0, 0.2}}};
  const BboxInfo base = box(BASE, 0, 0, 100, 10);
  const struct
  {
    const char * name;
    BboxInfo trash;
    std::vector<BboxInfo> bases;
    float base_z;
    std::optional<bool> in_region;
  } cases[] = {
    {"on a base, iou 0.71", box(PAPER_CUP, 0, 0, 71, 10), {base}, 1.0F, true},
    {"iou exactly 0.7", box(PAPER_CUP, 0, 0, 70, 10), {base}, 1.0F, false},
    {"below its height", box(PAPER_CUP), {}, 0.1F, true},
    {"at its height", box(PAPER_CUP), {}, 0.2F, false},
    {"no height range", box(semantic::MASK), {}, 0.0F, std::nullopt},
    {"no height range, on a base", box(semantic::MASK, 0, 0, 71, 10), {base}, 0.0F, true},
  };
  for (const auto & c : cases) {
    EXPECT_EQ(trashInRegion(c.trash, c.bases, 0.7F, heights, c.base_z, 1), c.in_region)
      << c.name;
  }
}

}  // namespace
