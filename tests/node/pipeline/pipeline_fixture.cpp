#include "pipeline_fixture.hpp"

#include <algorithm>

#include "geometry_msgs/msg/transform_stamped.hpp"

namespace node_test
{

void PipelineTest::startNode(
  std::vector<rclcpp::Parameter> extra, double now, std::vector<CameraFeed> feeds,
  bool robot_on_tf)
{
  auto parameters = baseParameters();
  parameters.emplace_back("cameras", static_cast<int>(feeds.size()));
  parameters.emplace_back("use_sim_time", true);
  parameters.insert(parameters.end(), extra.begin(), extra.end());
  harness_ = std::make_unique<NodeHarness>(parameters);
  for (std::size_t i = 1; i <= feeds.size(); ++i) {
    const std::string camera = "/camera_0" + std::to_string(i);
    publishers_.push_back(publisher(camera + "/color/image_raw"));
    publishers_.push_back(publisher(camera + "/depth/image_raw"));
  }
  if (!robot_on_tf) {
    geometry_msgs::msg::TransformStamped odom;
    odom.header.frame_id = "odom";
    odom.child_frame_id = "base_footprint";
    odom.transform.rotation.w = 1.0;
    odom_ = std::make_shared<tf2_ros::StaticTransformBroadcaster>(harness_->peer());
    odom_->sendTransform(odom);
  }
  harness_->start(feeds);
  harness_->spin();
  harness_->setSimTime(now);
  testing::internal::CaptureStdout();
  capturing_ = true;
}

rclcpp::Publisher<sensor_msgs::msg::Image>::SharedPtr PipelineTest::publisher(
  const std::string & topic)
{
  return harness_->peer()->create_publisher<sensor_msgs::msg::Image>(topic, rclcpp::QoS(1));
}

std::shared_ptr<DepthCamera> PipelineTest::camera(int number) const
{
  return harness_->node()->depthCameras().at(static_cast<std::size_t>(number - 1));
}

void PipelineTest::rgb(double stamp, int number, const std::string & encoding)
{
  publishRgb(makeImage(encoding, 640, 400, stamp, 90), number);
}

void PipelineTest::publishRgb(const sensor_msgs::msg::Image & image, int number)
{
  const auto before = camera(number)->rgbQueueSize();
  publishers_.at(2 * (number - 1))->publish(image);
  EXPECT_TRUE(waitFor([&] {return camera(number)->rgbQueueSize() != before;}))
    << "rgb " << stampOf(image.header.stamp);
}

void PipelineTest::depth(const sensor_msgs::msg::Image & image, int number)
{
  const auto before = camera(number)->framesDone();
  publishers_.at(2 * (number - 1) + 1)->publish(image);
  EXPECT_TRUE(waitFor([&] {return camera(number)->framesDone() != before;}))
    << "depth " << stampOf(image.header.stamp);
}

void PipelineTest::depth(double stamp, double value, int number)
{
  depth(wall(stamp, value), number);
}

std::vector<std::string> PipelineTest::stopCapture()
{
  if (!capturing_) {
    return {};
  }
  capturing_ = false;
  return logTexts(testing::internal::GetCapturedStdout());
}

sensor_msgs::msg::Image wall(double stamp, double millimetres, int width, int height)
{
  return makeImage("16UC1", width, height, stamp, millimetres);
}

std::vector<std::string> linesStarting(
  const std::vector<std::string> & texts, const std::string & prefix)
{
  std::vector<std::string> lines;
  std::copy_if(
    texts.begin(), texts.end(), std::back_inserter(lines),
    [&](const std::string & text) {return text.rfind(prefix, 0) == 0;});
  return lines;
}

double stampOf(const builtin_interfaces::msg::Time & stamp)
{
  return stamp.sec + stamp.nanosec * 1e-9;
}

}  // namespace node_test
