// SIGINT while the node is busy.  The stand-in's handler shuts the context
// down, as rclcpp's does; the executor's spin returns, and what main does
// next (stop the cameras' workers, release the node) must end every thread.
// The camera-info wait is covered by the process test.
#include <atomic>
#include <csignal>
#include <cstring>
#include <future>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "geometry_msgs/msg/transform_stamped.hpp"
#include "pipeline/pipeline_fixture.hpp"
#include "quorvane_protocol/msg/semantic_point_cloud.hpp"

namespace node_test
{
namespace
{

using sensor_msgs::msg::Image;

const std::string kConfig = std::string(QUORVANE_BINARY_DIR) + "/config/";

// A hang, not a speed: a frame may wait for an inference that takes seconds
// in sanitizer builds.
constexpr auto kHangLimit = kFrameLimit;

struct Rgb
{
  uint8_t r, g, b;
};
constexpr Rgb kYellow{255, 255, 0};  // PAPER_CUP to the model
constexpr Rgb kBlue{0, 0, 255};      // ESCALATOR_ENTRANCE

// Camera 1 as main starts it, with the AI thread and the colour-patch model,
// 0.5 m up looking ahead; the robot at the odom origin, "map" on tf2.
class Sigint : public ::testing::Test
{
protected:
  void SetUp() override
  {
    harness_ = std::make_unique<NodeHarness>(
      baseParameters({
        rclcpp::Parameter("cameras", 1),
        rclcpp::Parameter("use_ai_thread", true),
        rclcpp::Parameter("model_meta_file", kConfig + "colour_patch_seg_meta.yaml"),
        rclcpp::Parameter(
          "trash_detection.trash_class_type", std::vector<std::string>{"PAPER_CUP"})}));
    const auto peer = harness_->peer();
    std::vector<geometry_msgs::msg::TransformStamped> chain;
    for (const auto & [parent, child] : std::vector<std::pair<std::string, std::string>>{
        {"map", "odom_fusion"}, {"odom_fusion", "odom"}, {"odom", "base_footprint"}})
    {
      geometry_msgs::msg::TransformStamped link;
      link.header.frame_id = parent;
      link.child_frame_id = child;
      link.transform.rotation.w = 1.0;
      chain.push_back(link);
    }
    statics_ = std::make_shared<tf2_ros::StaticTransformBroadcaster>(peer);
    statics_->sendTransform(chain);
    rgb_ = peer->create_publisher<Image>("/camera_01/color/image_raw", 1);
    depth_ = peer->create_publisher<Image>("/camera_01/depth/image_raw", 1);

    auto feeds = defaultFeeds(1);
    feeds[0].tx = 0.1;
    feeds[0].rotation = {-0.5, 0.5, -0.5, 0.5};
    testing::internal::CaptureStdout();
    harness_->start(feeds);
    node_ = harness_->node();
    camera_ = node_->depthCameras().at(0);
    // As main spins it.
    executor_ = std::make_shared<rclcpp::executors::MultiThreadedExecutor>(
      rclcpp::ExecutorOptions(), node_->executorThreads(), true, std::chrono::nanoseconds(-1));
    executor_->add_node(node_->get_node_base_interface(), true);
    spun_ = std::async(std::launch::async, [this] {executor_->spin();});
  }

  void TearDown() override
  {
    streaming_.store(false);
    if (streamer_.joinable()) {
      streamer_.join();
    }
    harness_.reset();
    testing::internal::GetCapturedStdout();
    // The signal shut the whole process's ROS down; the next test needs it back.
    rclcpp::shutdown();
    rclcpp::init(0, nullptr);
  }

  // Grey with one 60 x 60 patch, over a floor-like depth ramp, stamped now.
  void frame(const Rgb & patch)
  {
    const double now = node_->now().seconds();
    auto colour = makeImage("rgb8", 640, 400, now, 110);
    for (int row = 210; row < 270; ++row) {
      for (int column = 290; column < 350; ++column) {
        std::memcpy(&colour.data[row * colour.step + column * 3], &patch, 3);
      }
    }
    auto depth = makeImage("16UC1", 640, 400, now, 0);
    for (uint32_t row = 0; row < depth.height; ++row) {
      const auto millimetres = static_cast<uint16_t>(1000 + 2 * row);
      for (uint32_t column = 0; column < depth.width; ++column) {
        std::memcpy(&depth.data[row * depth.step + 2 * column], &millimetres, 2);
      }
    }
    colour.header.frame_id = depth.header.frame_id = "camera_01_depth_optical_frame";
    rgb_->publish(colour);
    // The colour image must be queued before its depth frame pairs.
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    depth_->publish(depth);
  }

  // What main does after SIGINT, each step within the hang limit: the spin
  // returns without an error, the cameras' workers stop, and the node goes.
  void stopsLikeMain()
  {
    ASSERT_EQ(spun_.wait_for(kHangLimit), std::future_status::ready) << "spin still running";
    EXPECT_NO_THROW(spun_.get());
    EXPECT_FALSE(rclcpp::ok());
    streaming_.store(false);
    if (streamer_.joinable()) {
      streamer_.join();
    }
    auto stopped = std::async(std::launch::async, [this] {node_->stopCameras();});
    ASSERT_EQ(stopped.wait_for(kHangLimit), std::future_status::ready) << "workers still running";
    EXPECT_FALSE(camera_->hasAiThread());
    EXPECT_FALSE(camera_->hasTrashThread());
    EXPECT_FALSE(camera_->hasDangerousThread());
    const auto frames = camera_->framesDone();
    executor_.reset();
    std::weak_ptr<Base> node = node_;
    node_.reset();
    camera_.reset();
    harness_.reset();
    EXPECT_TRUE(node.expired());
    EXPECT_GT(frames, 0U);
  }

  std::unique_ptr<NodeHarness> harness_;
  std::shared_ptr<Base> node_;
  std::shared_ptr<DepthCamera> camera_;
  std::shared_ptr<rclcpp::executors::MultiThreadedExecutor> executor_;
  std::future<void> spun_;
  std::atomic<bool> streaming_{false};
  std::thread streamer_;

private:
  std::shared_ptr<tf2_ros::StaticTransformBroadcaster> statics_;
  rclcpp::Publisher<Image>::SharedPtr rgb_;
  rclcpp::Publisher<Image>::SharedPtr depth_;
};

TEST_F(Sigint, MidFrameWhileTheAiThreadInfers)
{
  const auto taken = camera_->depthQueueSize();
  const auto done = camera_->framesDone();
  frame(kYellow);
  // The depth callback has taken the frame in; the image is on its way to
  // the AI thread.  Looked for without pause: the frame lasts milliseconds.
  const auto end = std::chrono::steady_clock::now() + kHangLimit;
  while (camera_->depthQueueSize() == taken && std::chrono::steady_clock::now() < end) {
    std::this_thread::yield();
  }
  std::raise(SIGINT);
  EXPECT_EQ(camera_->framesDone(), done) << "the frame ended before the signal";
  stopsLikeMain();
}

TEST_F(Sigint, WhileTheTrashThreadWaitsForCmdVel)
{
  frame(kYellow);
  ASSERT_TRUE(
    waitFor([&] {return harness_->peer()->count_subscribers("/cmd_vel") > 0;}, kHangLimit));
  std::raise(SIGINT);
  stopsLikeMain();
}

TEST_F(Sigint, WhileTheRegionWorkerServesAStreamOfEntrances)
{
  Recorder<quorvane_protocol::msg::SemanticPointCloud> regions(
    harness_->peer(), "/cam1_dangerous_region_sem_cloud");
  streaming_.store(true);
  streamer_ = std::thread([this] {
        while (streaming_.load() && rclcpp::ok()) {
          frame(kBlue);
        }
      });
  ASSERT_TRUE(regions.reaches(2));
  std::raise(SIGINT);
  stopsLikeMain();
}

}  // namespace
}  // namespace node_test
