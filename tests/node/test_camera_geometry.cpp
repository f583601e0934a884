// What each camera hands the trash tracker and its moving-obstacle detector,
// seen from outside: where they expect the camera to see things.
#include <algorithm>
#include <array>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <Eigen/Core>
#include <opencv2/core.hpp>

#include "node_harness.hpp"
#include "quorvane_object_detect/depth_camera.hpp"

namespace node_test
{
namespace
{

using pelorin::perception::DynamicCloudDetector;
using pelorin::perception::TrashTracker;

// Optical frames looking along base x: image right is base -y, image down base -z.
constexpr std::array<double, 4> kLookingAhead{-0.5, 0.5, -0.5, 0.5};

// Camera 1 at (0.2, 0, 0.5), camera 2 at (0.2, 0.6, 0.5); K = 600 320 / 610 240, 640 x 400.
std::vector<CameraFeed> sideBySide()
{
  auto feeds = defaultFeeds();
  for (auto & feed : feeds) {
    feed.rotation = kLookingAhead;
  }
  feeds[1].ty = 0.6;
  return feeds;
}

struct Sight
{
  const char * what;
  Eigen::Vector3d point;  // base_footprint
  std::array<bool, 2> seen;  // by camera 1, camera 2
};

// One metre in front of the cameras but for the last.  The off-centre sights
// are inside the image only with cx and cy in their places.
const std::vector<Sight> kSights{
  {"centre of camera 1", {1.2, 0.0, 0.5}, {true, false}},
  {"camera 1 u = 590", {1.2, -0.45, 0.5}, {true, false}},
  {"camera 1 v = 362", {1.2, 0.0, 0.3}, {true, false}},
  {"centre of camera 2", {1.2, 0.6, 0.5}, {false, true}},
  {"behind both", {-1.0, 0.3, 0.5}, {false, false}},
};

// Frames enough for the tracker file's confirm_hits and max_misses.
constexpr int kTrackerFrames = 12;

// True when the tracker expects a registered camera to see `point` (robot at
// the map origin): trash confirmed there, then missing from every frame, is dropped.
bool trackerDropsUnseenTrash(TrashTracker & tracker, const Eigen::Vector3d & point)
{
  static int32_t class_id = 400;
  pelorin::perception::ObjectInfo trash;
  trash.class_id = ++class_id;  // no earlier probe's track may take it
  std::copy(point.data(), point.data() + 3, trash.position);
  const geometry_msgs::msg::Pose origin;
  for (int i = 0; i < kTrackerFrames; ++i) {
    tracker.Update({trash}, origin);
  }
  const auto confirmed = tracker.ConfirmedCount();
  for (int i = 0; i < kTrackerFrames; ++i) {
    tracker.Update({}, origin);
  }
  return tracker.ConfirmedCount() < confirmed;
}

// True when the detector finds motion at `point` (robot standing still): an
// earlier depth frame of the camera-info size saw 3 m of free space
// everywhere, now a 10 cm block stands there.
bool detectorSeesMotionAt(DynamicCloudDetector & detector, const Eigen::Vector3d & point)
{
  const cv::Mat free_space(400, 640, CV_32FC1, cv::Scalar(3.0F));
  auto block = std::make_shared<DynamicCloudDetector::Cloud>();
  for (int i = -5; i <= 5; ++i) {
    for (int j = -5; j <= 5; ++j) {
      for (int k = -5; k <= 5; ++k) {
        const Eigen::Vector3f p = point.cast<float>() + 0.01F * Eigen::Vector3f(i, j, k);
        block->push_back(pcl::PointXYZ(p.x(), p.y(), p.z()));
      }
    }
  }
  const geometry_msgs::msg::Pose still;
  detector.Update(std::make_shared<DynamicCloudDetector::Cloud>(), free_space, still);
  detector.Update(block, free_space, still);
  return detector.division_available_;
}

TEST(CameraGeometry, TrackerExpectsTrashOnlyWhereTheTrashCamerasLook)
{
  // The tracker drops unseen trash only where every registered camera looks,
  // so a camera registered without trash detection would keep it.
  for (const int open : {1, 2}) {
    const int closed = 3 - open;
    SCOPED_TRACE("trash detection of camera " + std::to_string(closed) + " closed");
    NodeHarness harness(baseParameters(
      {rclcpp::Parameter("trash_detection.close_cam" + std::to_string(closed), true)}));
    harness.start(sideBySide());
    for (const auto & sight : kSights) {
      EXPECT_EQ(
        trackerDropsUnseenTrash(*harness.node()->trashTracker(), sight.point),
        sight.seen[open - 1]) << sight.what;
    }
  }
}

TEST(CameraGeometry, DetectorJudgesMotionInItsCamerasView)
{
  NodeHarness harness(baseParameters());
  harness.start(sideBySide());
  for (const int n : {1, 2}) {
    auto & detector = harness.node()->depthCameras().at(n - 1)->dynamicCloudDetector();
    for (const auto & sight : kSights) {
      EXPECT_EQ(detectorSeesMotionAt(detector, sight.point), sight.seen[n - 1])
        << "camera " << n << ", " << sight.what;
    }
  }
}

TEST(CameraGeometry, TrackerRefusingACameraIsReportedOnce)
{
  auto feeds = defaultFeeds();
  for (auto & feed : feeds) {
    feed.width = 0;
  }
  testing::internal::CaptureStdout();
  {
    NodeHarness harness(baseParameters({rclcpp::Parameter("trash_detection.close_cam2", true)}));
    harness.start(feeds);
  }
  const auto texts = logTexts(testing::internal::GetCapturedStdout());
  for (const int n : {1, 2}) {
    const std::string warning = "WARN cam_" + std::to_string(n) +
      " trash tracker rejected the camera geometry, its trash will not be tracked";
    EXPECT_EQ(std::count(texts.begin(), texts.end(), warning), n == 1 ? 1 : 0) << warning;
  }
}

}  // namespace
}  // namespace node_test
