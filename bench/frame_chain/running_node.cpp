#include "running_node.hpp"

#include <chrono>
#include <stdexcept>
#include <utility>

#include "pipeline_fixture.hpp"
#include "scene/ros_messages.hpp"
#include "scene/scene_publisher.hpp"

namespace frame_chain
{
namespace
{

using Clock = std::chrono::steady_clock;

constexpr auto kFrameLimit = std::chrono::seconds(5);

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

RunningNode::RunningNode(
  const FrameInput & input, bool debug, const std::vector<rclcpp::Parameter> & extra)
: input_(input)
{
  auto parameters = node_test::baseParameters(node_test::groundParameters(input.camera));
  parameters.insert(parameters.end(), extra.begin(), extra.end());
  parameters.emplace_back("cameras", 1);
  parameters.emplace_back("use_sim_time", true);
  parameters.emplace_back("debug", debug);
  harness_ = std::make_unique<node_test::NodeHarness>(parameters);
  const scene::CameraTopics topics = scene::defaultTopics(1);
  const auto peer = harness_->peer();
  depth_ = peer->create_publisher<sensor_msgs::msg::Image>(topics.depth, rclcpp::QoS(1));
  colour_ = peer->create_publisher<sensor_msgs::msg::Image>(topics.colour, rclcpp::QoS(1));
  odom_ = std::make_unique<tf2_ros::StaticTransformBroadcaster>(peer);
  auto frames = scene::fixedTransforms(scene::FrameTree(), kStamp);
  frames.push_back(scene::robotTransform(scene::RobotPath(), 0.0, kStamp));
  odom_->sendTransform(frames);
  harness_->start({node_test::feedOf(input.camera)});
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
