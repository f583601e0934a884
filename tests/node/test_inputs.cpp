// Camera inputs: activation, the fsm status rule, and the sensor-health
// reports on "exception_handle" with their 60 s throttle on simulated time.
#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "geometry_msgs/msg/transform_stamped.hpp"
#include "node_harness.hpp"
#include "quorvane_protocol/msg/task_center_fsm_status.hpp"

namespace node_test
{
namespace
{

constexpr int kSensorData = 100700002;
constexpr int kSensorTime = 100700003;

class CameraInputs : public ::testing::Test
{
protected:
  void startCamera(std::vector<rclcpp::Parameter> extra)
  {
    auto parameters = baseParameters();
    parameters.emplace_back("cameras", 1);
    parameters.insert(parameters.end(), extra.begin(), extra.end());
    harness_ = std::make_unique<NodeHarness>(parameters);
    rgb_pub_ = harness_->peer()->create_publisher<sensor_msgs::msg::Image>(
      "/camera_01/color/image_raw", rclcpp::QoS(1));
    depth_pub_ = harness_->peer()->create_publisher<sensor_msgs::msg::Image>(
      "/camera_01/depth/image_raw", rclcpp::QoS(1));
    // Frames reach the escalator stage, which looks up "odom_fusion".
    geometry_msgs::msg::TransformStamped fusion;
    fusion.header.frame_id = "odom_fusion";
    fusion.child_frame_id = "base_footprint";
    fusion.transform.rotation.w = 1.0;
    fusion_ = std::make_shared<tf2_ros::StaticTransformBroadcaster>(harness_->peer());
    fusion_->sendTransform(fusion);
    // The camera info of the test's small images.
    auto feeds = defaultFeeds(1);
    feeds[0].width = 8;
    feeds[0].height = 6;
    harness_->start(feeds);
    harness_->spin();
    camera_ = harness_->node()->depthCameras().at(0);
  }

  // Publishes and waits until the colour callback has queued the image.
  void rgb(double stamp)
  {
    const auto before = camera_->rgbQueueSize();
    rgb_pub_->publish(makeImage("rgb8", 8, 6, stamp, 90));
    EXPECT_TRUE(waitFor([&] {return camera_->rgbQueueSize() != before;})) << "rgb " << stamp;
  }

  void depth(double stamp, double value, const std::string & encoding = "16UC1")
  {
    const auto before = camera_->depthQueueSize();
    depth_pub_->publish(makeImage(encoding, 8, 6, stamp, value));
    EXPECT_TRUE(waitFor([&] {return camera_->depthQueueSize() != before;})) << "depth " << stamp;
  }

  bool codesReach(std::size_t count)
  {
    return waitFor([&] {return harness_->exceptionCodes().size() >= count;});
  }

  // Two ticks of the 500 ms sensor check.
  static void letSensorCheckRun()
  {
    std::this_thread::sleep_for(std::chrono::milliseconds(1100));
  }

  std::unique_ptr<NodeHarness> harness_;
  std::shared_ptr<DepthCamera> camera_;
  rclcpp::Publisher<sensor_msgs::msg::Image>::SharedPtr rgb_pub_;
  rclcpp::Publisher<sensor_msgs::msg::Image>::SharedPtr depth_pub_;
  std::shared_ptr<tf2_ros::StaticTransformBroadcaster> fusion_;
};

TEST_F(CameraInputs, AgeAndEmptinessReportsAreThrottledPerSite)
{
  startCamera({rclcpp::Parameter("use_sim_time", true)});
  harness_->setSimTime(1000.0);
  testing::internal::CaptureStdout();

  rgb(999.5);  // exactly 0.5 s old: still fresh
  EXPECT_TRUE(harness_->exceptionCodes().empty());
  rgb(999.4);
  ASSERT_TRUE(codesReach(1));
  depth(999.0, 0);  // old, so not tested for emptiness
  ASSERT_TRUE(codesReach(2));

  harness_->setSimTime(1030.0);  // within 60 s of both reports
  rgb(1029.0);
  depth(1029.0, 1200);

  harness_->setSimTime(1060.5);  // more than 60 s after them
  rgb(1059.0);
  ASSERT_TRUE(codesReach(3));
  depth(1060.5, 0);
  ASSERT_TRUE(codesReach(4));
  depth(1060.5, 0);  // empty again within 60 s
  for (int repeat = 0; repeat < 2; ++repeat) {  // a bad driver repeats itself: one line per site
    depth(1060.5, 0, "rgb8");  // three channels: no emptiness test
    depth(1060.5, 0, "no_such_encoding");
  }
  letSensorCheckRun();

  EXPECT_EQ(
    harness_->exceptionCodes(),
    (std::vector<int>{kSensorTime, kSensorTime, kSensorTime, kSensorData}));
  harness_.reset();
  const auto texts = logTexts(testing::internal::GetCapturedStdout());
  const std::vector<std::string> errors = errorLines(texts);
  ASSERT_EQ(errors.size(), 10U) << ::testing::PrintToString(errors);
  EXPECT_EQ(errors[0], "ERROR camera1 rgb time error, current_time is 1000 but msg_time is 999.4");
  EXPECT_EQ(errors[1], "ERROR ErrorCode:100700003 in camera1");
  EXPECT_EQ(errors[2], "ERROR camera1 depth time error, current_time is 1000 but msg_time is 999");
  EXPECT_EQ(errors[3], "ERROR ErrorCode:100700003 in camera1");
  EXPECT_EQ(
    errors[4], "ERROR camera1 rgb time error, current_time is 1060.5 but msg_time is 1059");
  EXPECT_EQ(errors[5], "ERROR ErrorCode:100700003 in camera1");
  EXPECT_EQ(errors[6], "ERROR camera1 depth is empty");
  EXPECT_EQ(errors[7], "ERROR ErrorCode:100700002 in camera1");
  EXPECT_NE(errors[8].find("3 channels"), std::string::npos) << errors[8];
  EXPECT_NE(errors[9].find("unreadable"), std::string::npos) << errors[9];
}

TEST_F(CameraInputs, SlowAndStaleStreamsReportEvenWhileInactive)
{
  testing::internal::CaptureStdout();
  startCamera({rclcpp::Parameter("use_sim_time", true), rclcpp::Parameter("rgb_buffer_size", 3)});
  for (double t : {2000.0, 2001.0, 2002.0}) {
    harness_->setSimTime(t);
    rgb(t);
    depth(t, 1200);
  }
  // Three images over 2 s: 1.5 Hz on both streams.
  ASSERT_TRUE(codesReach(2));
  harness_->node()->deactivate();
  harness_->setSimTime(2004.0);
  ASSERT_TRUE(codesReach(4));

  harness_->setSimTime(2030.0);
  letSensorCheckRun();
  EXPECT_EQ(harness_->exceptionCodes().size(), 4U);

  harness_->setSimTime(2062.5);  // the rate sites are due again, the staleness sites not yet
  ASSERT_TRUE(codesReach(6));
  letSensorCheckRun();
  EXPECT_EQ(harness_->exceptionCodes().size(), 6U);
  harness_->setSimTime(2064.5);
  ASSERT_TRUE(codesReach(8));
  EXPECT_EQ(harness_->exceptionCodes(), std::vector<int>(8, kSensorData));

  harness_.reset();
  const auto texts = logTexts(testing::internal::GetCapturedStdout());
  const auto count = [&](const std::string & text) {
      return std::count(texts.begin(), texts.end(), text);
    };
  EXPECT_EQ(count("ERROR camera1 rgb sensor frequency is too low 1.5"), 2);
  EXPECT_EQ(count("ERROR camera1 depth sensor frequency is too low 1.5"), 2);
  EXPECT_EQ(
    count(
      "ERROR rgb long time without update data of cam_1, last_update_time is 2002 "
      "but current_time is 2004"), 1);
  EXPECT_EQ(
    count(
      "ERROR depth long time without update data of cam_1, last_update_time is 2002 "
      "but current_time is 2064.5"), 1);
  EXPECT_EQ(count("ERROR ErrorCode:100700002 in camera1"), 8);
}

TEST_F(CameraInputs, DeactivateAndActivateSwitchTheImageCallbacks)
{
  testing::internal::CaptureStdout();
  startCamera({});
  const double now = harness_->node()->now().seconds();
  rgb(now);
  depth(now, 1000);

  harness_->node()->deactivate();
  EXPECT_FALSE(camera_->isActive());
  rgb_pub_->publish(makeImage("rgb8", 8, 6, now, 90));
  depth_pub_->publish(makeImage("16UC1", 8, 6, now, 1000));
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_EQ(camera_->rgbQueueSize(), 1U);
  EXPECT_EQ(camera_->depthQueueSize(), 1U);

  harness_->node()->activate();
  EXPECT_TRUE(camera_->isActive());
  rgb(now);
  depth(now, 1000);
  EXPECT_EQ(camera_->rgbQueueSize(), 2U);
  EXPECT_EQ(camera_->depthQueueSize(), 2U);

  harness_.reset();
  const auto texts = logTexts(testing::internal::GetCapturedStdout());
  EXPECT_EQ(std::count(texts.begin(), texts.end(), "DEBUG current now is hibernate"), 2);
}

TEST_F(CameraInputs, FsmStatusSetsHibernateOnlyInState8OutsideSubState400)
{
  startCamera({});
  auto status_pub = harness_->peer()->create_publisher<quorvane_protocol::msg::TaskCenterFsmStatus>(
    "/fsm_status", rclcpp::QoS(1));
  struct Case
  {
    int state;
    int sub_state;
    bool hibernate;
  };
  for (const Case & c : {Case{8, 1, true}, Case{8, 400, false}, Case{8, 0, true},
      Case{3, 1, false}, Case{8, 401, true}, Case{7, 400, false}})
  {
    quorvane_protocol::msg::TaskCenterFsmStatus status;
    status.fsm_state = c.state;
    status.fsm_sub_state = c.sub_state;
    status_pub->publish(status);
    EXPECT_TRUE(waitFor([&] {return camera_->isHibernating() == c.hibernate;}))
      << c.state << "/" << c.sub_state;
  }
}

}  // namespace
}  // namespace node_test
