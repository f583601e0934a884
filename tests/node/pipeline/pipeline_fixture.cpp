#include "pipeline_fixture.hpp"

#include <algorithm>

#include <Eigen/Geometry>

#include "geometry_msgs/msg/transform_stamped.hpp"
#include "ground_settings.hpp"

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
  publishers_.clear();
  for (std::size_t i = 1; i <= feeds.size(); ++i) {
    const std::string camera = "/camera_0" + std::to_string(i);
    publishers_.push_back(publisher(camera + "/color/image_raw"));
    publishers_.push_back(publisher(camera + "/depth/image_raw"));
  }
  if (!robot_on_tf) {
    // odom_fusion -> odom -> base_footprint at the origin; "map" is left to
    // the tests that need it.
    std::vector<geometry_msgs::msg::TransformStamped> chain;
    for (const auto & link : {std::pair<const char *, const char *>{"odom_fusion", "odom"},
        {"odom", "base_footprint"}})
    {
      geometry_msgs::msg::TransformStamped transform;
      transform.header.frame_id = link.first;
      transform.child_frame_id = link.second;
      transform.transform.rotation.w = 1.0;
      chain.push_back(transform);
    }
    odom_ = std::make_shared<tf2_ros::StaticTransformBroadcaster>(harness_->peer());
    odom_->sendTransform(chain);
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
  const auto before = camera(number)->rgbImagesDone();
  publishers_.at(2 * (number - 1))->publish(image);
  EXPECT_TRUE(waitFor([&] {return camera(number)->rgbImagesDone() != before;}, kFrameLimit))
    << "rgb " << stampOf(image.header.stamp);
}

void PipelineTest::depth(const sensor_msgs::msg::Image & image, int number)
{
  const auto before = camera(number)->framesDone();
  publishers_.at(2 * (number - 1) + 1)->publish(image);
  EXPECT_TRUE(waitFor([&] {return camera(number)->framesDone() != before;}, kFrameLimit))
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

std::thread answerCmdVel(
  const rclcpp::Node::SharedPtr & peer,
  const rclcpp::Publisher<geometry_msgs::msg::Twist>::SharedPtr & cmd_vel,
  std::optional<double> angular_z)
{
  return std::thread([peer, cmd_vel, angular_z] {
      if (angular_z &&
      waitFor([&] {return peer->count_subscribers("/cmd_vel") > 0;}, kFrameLimit))
      {
        geometry_msgs::msg::Twist twist;
        twist.angular.z = *angular_z;
        cmd_vel->publish(twist);
      }
    });
}

CameraFeed feedOf(const scene::Camera & camera, int number)
{
  CameraFeed feed = defaultFeeds(number).back();
  feed.frame_id = camera.frame_id;
  const Eigen::Vector3f origin = camera.base_from_optical.translation();
  feed.tx = origin.x();
  feed.ty = origin.y();
  feed.tz = origin.z();
  const Eigen::Quaternionf q(camera.base_from_optical.rotation());
  feed.rotation = {q.x(), q.y(), q.z(), q.w()};
  const auto & k = camera.intrinsics;
  feed.width = static_cast<uint32_t>(k.width);
  feed.height = static_cast<uint32_t>(k.height);
  feed.fx = k.fx;
  feed.fy = k.fy;
  feed.cx = k.cx;
  feed.cy = k.cy;
  return feed;
}

std::vector<rclcpp::Parameter> groundParameters(const scene::Camera & camera, int number)
{
  const auto p = ground_test::groundParamsFor(camera);
  const std::string cam = "cam" + std::to_string(number);
  return {
    {cam + ".segmentation_angular_resolution", p.segmentation_angular_resolution},
    {cam + ".point_cloud_max_range", p.point_cloud_max_range},
    {cam + ".point_cloud_min_range", p.point_cloud_min_range},
    {cam + "_.segmentation_bin_len", p.segmentation_bin_len},
    {cam + ".cam_height", p.cam_height},
    {cam + ".max_lsq_residual", p.max_lsq_residual},
    {cam + ".max_dist_point_groundline", p.max_dist_point_groundline},
    {cam + ".long_threshold", p.long_threshold},
    {cam + ".max_height_diff_for_front", p.max_height_diff_for_front},
    {cam + ".diluting_threshold", p.diluting_threshold}};
}

}  // namespace node_test
