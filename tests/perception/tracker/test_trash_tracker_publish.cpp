// The tracker behind its two publishers: messages as a subscriber gets them, and
// several camera threads at once.

#include <atomic>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "pelorin/perception/trash_tracker.hpp"
#include "rclcpp/rclcpp.hpp"
#include "tracker_test_scene.hpp"

namespace
{

using namespace tracker_test;
using pelorin::perception::ObjectInfo;
using pelorin::perception::TrashTracker;
using quorvane_protocol::msg::DetectedWastes;
using visualization_msgs::msg::Marker;
using visualization_msgs::msg::MarkerArray;

geometry_msgs::msg::Pose ToPose(const Eigen::Isometry3d& iso)
{
  geometry_msgs::msg::Pose pose;
  const Eigen::Quaterniond q(iso.linear());
  pose.position.x = iso.translation().x();
  pose.position.y = iso.translation().y();
  pose.position.z = iso.translation().z();
  pose.orientation.x = q.x();
  pose.orientation.y = q.y();
  pose.orientation.z = q.z();
  pose.orientation.w = q.w();
  return pose;
}

class TrashTrackerPublishing : public ::testing::Test
{
protected:
  void SetUp() override
  {
    rclcpp::init(0, nullptr);
    node_ = rclcpp::Node::make_shared("trash_tracker_test");
    wastes_pub_ = node_->create_publisher<DetectedWastes>("detected_wastes", rclcpp::QoS(1));
    marker_pub_ = node_->create_publisher<MarkerArray>("trash_marker", rclcpp::QoS(1));
    wastes_sub_ = node_->create_subscription<DetectedWastes>(
      "detected_wastes", rclcpp::QoS(1),
      [this](DetectedWastes::ConstSharedPtr msg) {wastes_ = msg;});
    marker_sub_ = node_->create_subscription<MarkerArray>(
      "trash_marker", rclcpp::QoS(1), [this](MarkerArray::ConstSharedPtr msg) {markers_ = msg;});
    executor_.add_node(node_);
    config_ = ::testing::TempDir() + "tracker_publish.yaml";
    std::ofstream(config_) << "confirm_hits: 2\n";
  }

  void TearDown() override
  {
    executor_.remove_node(node_);
    rclcpp::shutdown();
  }

  std::unique_ptr<TrashTracker> MakeTracker()
  {
    auto tracker = std::make_unique<TrashTracker>(config_, wastes_pub_, marker_pub_);
    EXPECT_TRUE(tracker->AddCamera(ToPose(kCamera), 640, 480, {400.0F, 320.0F, 400.0F, 240.0F}));
    return tracker;
  }

  void Receive()
  {
    wastes_.reset();
    markers_.reset();
    executor_.spin_some();
  }

  const Eigen::Isometry3d kCamera = CameraInBase(0.2, 0.3, 0.0, 0.5);
  const Eigen::Isometry3d kRobot = RobotAt(2.0, 1.0, 0.0);
  rclcpp::Node::SharedPtr node_;
  rclcpp::executors::SingleThreadedExecutor executor_;
  rclcpp::Publisher<DetectedWastes>::SharedPtr wastes_pub_;
  rclcpp::Publisher<MarkerArray>::SharedPtr marker_pub_;
  rclcpp::Subscription<DetectedWastes>::SharedPtr wastes_sub_;
  rclcpp::Subscription<MarkerArray>::SharedPtr marker_sub_;
  DetectedWastes::ConstSharedPtr wastes_;
  MarkerArray::ConstSharedPtr markers_;
  std::string config_;
};

TEST_F(TrashTrackerPublishing, SendsConfirmedTracksAsWastesAndMarkers)
{
  auto tracker = MakeTracker();
  const Eigen::Vector3d bottle(3.0, 1.1, 0.04);
  tracker->Update({Seen(kBottle, bottle, kCamera, kRobot)}, ToPose(kRobot));
  tracker->Publish();
  Receive();
  ASSERT_TRUE(wastes_ && markers_);
  EXPECT_TRUE(wastes_->wastes.empty());  // one sighting is not yet a track
  ASSERT_EQ(markers_->markers.size(), 1U);
  EXPECT_EQ(markers_->markers[0].action, Marker::DELETEALL);

  tracker->Update({Seen(kBottle, bottle, kCamera, kRobot)}, ToPose(kRobot));
  tracker->Publish();
  Receive();
  ASSERT_TRUE(wastes_ && markers_);
  EXPECT_EQ(wastes_->header.frame_id, "map");
  ASSERT_EQ(wastes_->wastes.size(), 1U);
  const auto& waste = wastes_->wastes[0];
  EXPECT_EQ(waste.label, kBottle);
  EXPECT_EQ(waste.observations, 2U);
  EXPECT_NEAR(waste.position.x, bottle.x(), 1e-6);
  EXPECT_NEAR(waste.position.y, bottle.y(), 1e-6);
  EXPECT_NEAR(waste.size.x, 0.2, 1e-6);

  ASSERT_EQ(markers_->markers.size(), 3U);
  EXPECT_EQ(markers_->markers[0].action, Marker::DELETEALL);
  const Marker& cube = markers_->markers[1];
  const Marker& text = markers_->markers[2];
  EXPECT_EQ(cube.type, Marker::CUBE);
  EXPECT_EQ(text.type, Marker::TEXT_VIEW_FACING);
  EXPECT_EQ(cube.header.frame_id, "map");
  EXPECT_EQ(cube.id, static_cast<int32_t>(waste.id));
  EXPECT_EQ(text.id, static_cast<int32_t>(waste.id));
  EXPECT_NEAR(cube.pose.position.x, bottle.x(), 1e-6);
  EXPECT_GT(text.pose.position.z, cube.pose.position.z);
  EXPECT_FALSE(text.text.empty());
}

TEST_F(TrashTrackerPublishing, ConstructorNamesAMissingFile)
{
  const std::string missing = ::testing::TempDir() + "no_such_tracker.yaml";
  try {
    TrashTracker tracker(missing, wastes_pub_, marker_pub_);
    ADD_FAILURE() << "no exception";
  } catch (const std::runtime_error& e) {
    EXPECT_NE(std::string(e.what()).find(missing), std::string::npos) << e.what();
  }
}

TEST_F(TrashTrackerPublishing, CameraThreadsTogetherLeaveOneTrackPerTrash)
{
  auto tracker = MakeTracker();
  const Eigen::Vector3d bottle(3.0, 1.1, 0.04);
  const Eigen::Vector3d can(3.1, 0.8, 0.04);
  std::atomic<bool> go{false};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
        while (!go) {
          std::this_thread::yield();
        }
        for (int i = 0; i < 400; ++i) {
          // Each thread sees the trash a little differently, as each camera does.
          const Eigen::Vector3d jitter(0.01 * ((i + t) % 5 - 2), 0.01 * (t - 2), 0.0);
          std::vector<ObjectInfo> frame;
          frame.push_back(Seen(kBottle, bottle + jitter, kCamera, kRobot));
          if (i % 3 != t % 3) {
            frame.push_back(Seen(kCan, can - jitter, kCamera, kRobot));
          }
          tracker->Update(frame, ToPose(kRobot));
          tracker->Publish();
        }
      });
  }
  go = true;
  for (auto& thread : threads) {
    thread.join();
  }
  EXPECT_EQ(tracker->ConfirmedCount(), 2U);
  tracker->Publish();
  Receive();
  ASSERT_TRUE(wastes_ && markers_);
  ASSERT_EQ(wastes_->wastes.size(), 2U);
  EXPECT_NE(wastes_->wastes[0].id, wastes_->wastes[1].id);
  EXPECT_NE(wastes_->wastes[0].label, wastes_->wastes[1].label);
  for (const auto& waste : wastes_->wastes) {
    const Eigen::Vector3d expected = waste.label == kBottle ? bottle : can;
    EXPECT_NEAR(waste.position.x, expected.x(), 0.03);
    EXPECT_NEAR(waste.position.y, expected.y(), 0.03);
  }
  EXPECT_EQ(markers_->markers.size(), 5U);
}

}  // namespace
