// Camera infos a driver sends before it is calibrated or configured: each is
// refused with 100700001 and waited for again, and the good one after them
// (without an image size) starts a camera whose frames come out finite.
#include <algorithm>
#include <cmath>
#include <future>
#include <limits>
#include <string>
#include <vector>

#include "pipeline/pipeline_fixture.hpp"
#include "geometry_msgs/msg/transform_stamped.hpp"
#include "sensor_msgs/msg/camera_info.hpp"

namespace node_test
{
namespace
{

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInfinity = std::numeric_limits<double>::infinity();
const std::string kInfoTopic = "/camera_01/depth/camera_info";

struct Answer
{
  const char * what;
  double fx, fy, cx, cy;
  std::string frame_id;
  const char * said;  // the refusal's reason, before the 100700001 line
  uint32_t width = 640, height = 400;
};

sensor_msgs::msg::CameraInfo info(const Answer & answer)
{
  sensor_msgs::msg::CameraInfo message;
  message.header.frame_id = answer.frame_id;
  message.width = answer.width;
  message.height = answer.height;
  message.k = {answer.fx, 0.0, answer.cx, 0.0, answer.fy, answer.cy, 0.0, 0.0, 1.0};
  return message;
}

// Answers each wait of the camera once, in order: a camera subscribes anew
// for every attempt.
void answerInTurn(const rclcpp::Node::SharedPtr & peer, const std::vector<Answer> & answers)
{
  auto publisher = peer->create_publisher<sensor_msgs::msg::CameraInfo>(kInfoTopic, 1);
  for (const Answer & answer : answers) {
    ASSERT_TRUE(waitFor([&] {return peer->count_subscribers(kInfoTopic) > 0;}, kFrameLimit))
      << answer.what;
    publisher->publish(info(answer));
    // Taken once the wait lets go of the topic; the next attempt subscribes
    // again at once after a quick refusal, mostly before this looks.
    waitFor(
      [&] {return peer->count_subscribers(kInfoTopic) == 0;}, std::chrono::milliseconds(500));
  }
}

TEST(BadCameraInfo, IsRefusedAndWaitedForAgainUntilAGoodOne)
{
  const std::string frame = "camera_01_depth_optical_frame";
  const std::string refused = "ERROR ErrorCode:100700001, camera param info initialize failed.";
  const std::string unusable = "ERROR cam_1 camera info has no usable intrinsics";
  const std::vector<Answer> answers{
    {"fx 0", 0.0, 610.0, 320.0, 240.0, frame, unusable.c_str()},
    {"fy negative", 600.0, -610.0, 320.0, 240.0, frame, unusable.c_str()},
    {"fx NaN", kNaN, 610.0, 320.0, 240.0, frame, unusable.c_str()},
    {"fy infinite", 600.0, kInfinity, 320.0, 240.0, frame, unusable.c_str()},
    {"cx NaN", 600.0, 610.0, kNaN, 240.0, frame, unusable.c_str()},
    {"fx beyond float", 1e300, 610.0, 320.0, 240.0, frame, unusable.c_str()},
    // Every ray almost sideways: no frame would give a point.
    {"fx below one pixel", 1e-30, 1e-30, 320.0, 240.0, frame, unusable.c_str()},
    {"fy half a pixel", 600.0, 0.5, 320.0, 240.0, frame, unusable.c_str()},
    {"65536 x 65536 claim", 600.0, 610.0, 320.0, 240.0, frame,
      "ERROR cam_1 camera info claims a 65536x65536 image, more than 8192 pixels a side", 65536,
      65536},
    // Camera 2's floor table would take 800 MB.
    {"8192 x 8192 claim", 600.0, 610.0, 320.0, 240.0, frame,
      "ERROR cam_1 camera info claims a 8192x8192 image, more than 16777216 pixels", 8192, 8192},
    {"empty frame id", 600.0, 610.0, 320.0, 240.0, "",
      "ERROR Failed to lookup transform from  to base_footprint"},
    // Some drivers leave the size out: the frames then tell it.
    {"good, without a size", 600.0, 610.0, 320.0, 240.0, frame, nullptr, 0, 0},
  };
  // The harness's own answers go to a topic nobody waits on.
  auto feeds = defaultFeeds(1);
  feeds[0].info_topic = "/unanswered";
  auto parameters = baseParameters({rclcpp::Parameter("cameras", 1)});
  NodeHarness harness(parameters);
  // The robot at the odom origin, for the frame after start-up.
  std::vector<geometry_msgs::msg::TransformStamped> chain(2);
  chain[0].header.frame_id = "odom_fusion";
  chain[0].child_frame_id = chain[1].header.frame_id = "odom";
  chain[1].child_frame_id = "base_footprint";
  chain[0].transform.rotation.w = chain[1].transform.rotation.w = 1.0;
  tf2_ros::StaticTransformBroadcaster odom(harness.peer());
  odom.sendTransform(chain);
  testing::internal::CaptureStdout();
  auto started = std::async(std::launch::async, [&] {harness.start(feeds);});
  answerInTurn(harness.peer(), answers);
  ASSERT_EQ(started.wait_for(kFrameLimit), std::future_status::ready);
  started.get();

  const auto camera = harness.node()->depthCameras().at(0);
  EXPECT_EQ(camera->intrinsics(), (std::array<float, 4>{600.F, 610.F, 320.F, 240.F}));
  harness.spin();
  Recorder<sensor_msgs::msg::PointCloud2> base(harness.peer(), "/cam1_base_cloud");
  auto depth = harness.peer()->create_publisher<sensor_msgs::msg::Image>(
    "/camera_01/depth/image_raw", 1);
  auto wall = makeImage("16UC1", 640, 480, harness.node()->now().seconds(), 1000);
  wall.header.frame_id = frame;
  depth->publish(wall);
  ASSERT_TRUE(base.reaches(1));
  const auto texts = logTexts(testing::internal::GetCapturedStdout());

  const auto points = fromMessage<pcl::PointXYZ>(*base.messages()[0]);
  EXPECT_GT(points.size(), 1000U);
  for (const auto & p : points) {
    ASSERT_TRUE(std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z));
  }
  // Each refusal: its reason, then the start-up code; nothing else fails.
  std::vector<std::string> expected;
  for (const Answer & answer : answers) {
    if (answer.said) {
      expected.push_back(answer.said);
      expected.push_back(refused);
    }
  }
  // From the first answer on; tf2's own line for the empty frame id aside.
  const auto first = std::find_if(
    texts.begin(), texts.end(),
    [](const std::string & text) {return text.rfind("INFO cam_1 : fxParam=", 0) == 0;});
  std::vector<std::string> failures;
  for (const auto & text : errorLines({first, texts.end()})) {
    if (text.rfind("ERROR Transform  to base_footprint error", 0) != 0) {
      failures.push_back(text);
    }
  }
  EXPECT_EQ(failures, expected);
}

}  // namespace
}  // namespace node_test
