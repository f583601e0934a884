#include "running_node.hpp"

#include <chrono>
#include <stdexcept>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "quorvane_object_detect/depth_camera.hpp"
#include "scene/ros_messages.hpp"
#include "scene/scene_publisher.hpp"

namespace frame_chain
{
namespace
{

using Clock = std::chrono::steady_clock;

constexpr auto kFrameLimit = std::chrono::seconds(5);

// The ground-removal keys of camera 1 at the input's values, as an
// integrator sets them for the mount.
std::vector<rclcpp::Parameter> groundKeys(const pelorin::perception::GroundRemovalParams & p)
{
  const std::pair<const char *, float> fields[] = {
    {"segmentation_angular_resolution", p.segmentation_angular_resolution},
    {"point_cloud_max_range", p.point_cloud_max_range},
    {"point_cloud_min_range", p.point_cloud_min_range},
    {"cam_height", p.cam_height},
    {"max_lsq_residual", p.max_lsq_residual},
    {"min_slope", p.min_slope},
    {"max_slope", p.max_slope},
    {"max_height_diff_for_start_up", p.max_height_diff_for_start_up},
    {"max_height_diff_for_start_down", p.max_height_diff_for_start_down},
    {"max_dist_point_groundline", p.max_dist_point_groundline},
    {"long_threshold", p.long_threshold},
    {"max_height_diff_for_front", p.max_height_diff_for_front},
    {"x_distance_need_preprocess", p.x_distance_need_preprocess},
    {"z_distance_need_remove", p.z_distance_need_remove},
    {"max_obstacle_height", p.max_obstacle_height},
    {"diluting_threshold", p.diluting_threshold},
    {"noise_nsigma", p.noise_nsigma},
  };
  std::vector<rclcpp::Parameter> keys;
  for (const auto & [field, value] : fields) {
    keys.emplace_back(std::string("cam1.") + field, value);
  }
  // Read at start-up under its own spelling.
  keys.emplace_back("cam1_.segmentation_bin_len", p.segmentation_bin_len);
  return keys;
}

node_test::CameraFeed feedOf(const scene::Camera & camera)
{
  node_test::CameraFeed feed = node_test::defaultFeeds(1).front();
  feed.frame_id = camera.frame_id;
  const Eigen::Vector3f at = camera.base_from_optical.translation();
  std::tie(feed.tx, feed.ty, feed.tz) = std::make_tuple(at.x(), at.y(), at.z());
  const Eigen::Quaternionf turn(camera.base_from_optical.rotation());
  feed.rotation = {turn.x(), turn.y(), turn.z(), turn.w()};
  const scene::Intrinsics & k = camera.intrinsics;
  std::tie(feed.fx, feed.fy, feed.cx, feed.cy) = std::make_tuple(k.fx, k.fy, k.cx, k.cy);
  feed.width = static_cast<uint32_t>(k.width);
  feed.height = static_cast<uint32_t>(k.height);
  return feed;
}

// Spins rather than sleeps: a sleep would outlast the frame.
template<typename Condition>
void spinUntil(Condition done, const char * failure)
{
  const Clock::time_point end = Clock::now() + kFrameLimit;
  while (!done()) {
    if (Clock::now() > end) {
      throw std::runtime_error(failure);
    }
  }
}

}  // namespace

RunningNode::RunningNode(const FrameInput & input, bool debug)
: input_(input)
{
  auto parameters = node_test::baseParameters(groundKeys(input.ground));
  parameters.emplace_back("cameras", 1);
  parameters.emplace_back("use_sim_time", true);
  parameters.emplace_back("debug", debug);
  harness_ = std::make_unique<node_test::NodeHarness>(parameters);
  const scene::CameraTopics topics = scene::defaultTopics(1);
  const auto peer = harness_->peer();
  depth_ = peer->create_publisher<sensor_msgs::msg::Image>(topics.depth, rclcpp::QoS(1));
  colour_ = peer->create_publisher<sensor_msgs::msg::Image>(topics.colour, rclcpp::QoS(1));
  odom_ = std::make_unique<tf2_ros::StaticTransformBroadcaster>(peer);
  odom_->sendTransform(scene::robotTransform(scene::RobotPath(), 0.0, kStamp));
  harness_->start({feedOf(input.camera)});
  harness_->spin();
  harness_->setSimTime(kStamp);
  camera_ = harness_->node()->depthCameras().front().get();

  colour_->publish(*input.colour);
  spinUntil([this] {return camera_->rgbQueueSize() > 0;}, "the camera queued no colour image");
  for (const auto & earlier : input.history) {
    publishAndWait(*earlier);
  }
}

double RunningNode::frame()
{
  return publishAndWait(*input_.depth);
}

double RunningNode::publishAndWait(const sensor_msgs::msg::Image & depth)
{
  // The copy is made before the clock starts.
  auto message = std::make_unique<sensor_msgs::msg::Image>(depth);
  const std::size_t before = camera_->framesDone();
  const Clock::time_point start = Clock::now();
  depth_->publish(std::move(message));
  spinUntil([&] {return camera_->framesDone() != before;}, "the camera left a depth frame");
  return std::chrono::duration<double>(Clock::now() - start).count();
}

}  // namespace frame_chain
