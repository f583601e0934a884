// The trash thread in the running node with the colour-patch model: the
// turn-rate gate on "cmd_vel", the tracker fed for every frame that passes,
// the robot event for trash outside the region, classes without a height
// range, and colour images of another size than the depth image.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <yaml-cpp/yaml.h>

#include "geometry_msgs/msg/twist.hpp"
#include "pipeline_fixture.hpp"
#include "quorvane_protocol/msg/detected_wastes.hpp"
#include "quorvane_protocol/msg/robot_event.hpp"

namespace node_test
{
namespace
{

using quorvane_protocol::msg::DetectedWastes;
using quorvane_protocol::msg::RobotEvent;

struct Rgb
{
  uint8_t r, g, b;
};
constexpr Rgb kYellow{255, 255, 0};  // PAPER_CUP to the model
constexpr Rgb kGreen{0, 255, 0};     // BOTTLE
constexpr Rgb kCyan{0, 255, 255};    // BASE
constexpr Rgb kRed{255, 0, 0};       // PERSON

// A 60 x 60 patch with its top-left corner at column x, row y.
struct Patch
{
  Rgb colour;
  int x, y;
};

const std::string kConfig = std::string(QUORVANE_BINARY_DIR) + "/config/";

// The colour-patch model with green taken as a paper cup too: the model
// finds one patch per colour, and a frame is to hold two cups.
std::string twoCupsMetaFile()
{
  YAML::Node meta = YAML::LoadFile(kConfig + "colour_patch_seg_meta.yaml");
  meta["model_file"] = kConfig + meta["model_file"].as<std::string>();
  meta["class_mapping"][1] = "PAPER_CUP";
  const std::string path = ::testing::TempDir() + "two_cups_meta.yaml";
  std::ofstream(path) << meta;
  return path;
}

class TrashThread : public PipelineTest
{
protected:
  // Cameras 0.5 m above the floor looking straight ahead, "odom_fusion" 2 m
  // along the map's x axis: a patch's trash stands 0.5 m high, outside the
  // region to clean.
  void start(
    int cameras, std::vector<std::string> trash_classes, std::vector<rclcpp::Parameter> extra = {})
  {
    auto feeds = defaultFeeds(cameras);
    for (auto & feed : feeds) {
      feed.tx = 0.1;
      feed.tz = 0.5;
      feed.rotation = {-0.5, 0.5, -0.5, 0.5};
    }
    std::vector<rclcpp::Parameter> parameters{
      rclcpp::Parameter("model_meta_file", kConfig + "colour_patch_seg_meta.yaml"),
      rclcpp::Parameter("trash_detection.trash_class_type", trash_classes)};
    parameters.insert(parameters.end(), extra.begin(), extra.end());
    startNode(parameters, 1000.0, feeds);
    geometry_msgs::msg::TransformStamped map;
    map.header.frame_id = "map";
    map.child_frame_id = "odom_fusion";
    map.transform.translation.x = 2.0;
    map.transform.rotation.w = 1.0;
    map_ = std::make_shared<tf2_ros::StaticTransformBroadcaster>(harness_->peer());
    map_->sendTransform(map);
    cmd_vel_ = harness_->peer()->create_publisher<geometry_msgs::msg::Twist>("/cmd_vel", 1);
    wastes_ = std::make_unique<Recorder<DetectedWastes>>(harness_->peer(), "/detected_wastes");
    events_ = std::make_unique<Recorder<RobotEvent>>(harness_->peer(), "/robot_event");
  }

  // One frame with the patches on grey, over depth rising from 1 m at the
  // top row by 2 mm a row; with `angular_z` that rate is sent on "cmd_vel"
  // while the trash thread waits for it.  Returns once the thread is done.
  void handIn(
    const std::vector<Patch> & patches, std::optional<double> angular_z = std::nullopt,
    int camera = 1, int colour_width = 640, int colour_height = 400)
  {
    stamp_ += 0.05;
    auto colour = makeImage("rgb8", colour_width, colour_height, stamp_, 110);
    for (const Patch & patch : patches) {
      for (int row = patch.y; row < patch.y + 60 && row < colour_height; ++row) {
        for (int column = patch.x; column < patch.x + 60 && column < colour_width; ++column) {
          uint8_t * pixel = &colour.data[row * colour.step + column * 3];
          pixel[0] = patch.colour.r;
          pixel[1] = patch.colour.g;
          pixel[2] = patch.colour.b;
        }
      }
    }
    auto depth = wall(stamp_, 0.0);
    for (uint32_t row = 0; row < depth.height; ++row) {
      const auto millimetres = static_cast<uint16_t>(1000 + 2 * row);
      for (uint32_t column = 0; column < depth.width; ++column) {
        std::memcpy(&depth.data[row * depth.step + 2 * column], &millimetres, 2);
      }
    }
    const std::string frame = "camera_0" + std::to_string(camera) + "_depth_optical_frame";
    colour.header.frame_id = depth.header.frame_id = frame;
    const auto before = this->camera(camera)->trashFramesDone();
    publishRgb(colour, camera);
    std::thread driver = answerCmdVel(harness_->peer(), cmd_vel_, angular_z);
    this->depth(depth, camera);
    driver.join();
    ASSERT_TRUE(
      waitFor([&] {return this->camera(camera)->trashFramesDone() != before;}, kFrameLimit));
  }

  std::unique_ptr<Recorder<DetectedWastes>> wastes_;
  std::unique_ptr<Recorder<RobotEvent>> events_;
  rclcpp::Publisher<geometry_msgs::msg::Twist>::SharedPtr cmd_vel_;

private:
  double stamp_ = 1000.0;
  std::shared_ptr<tf2_ros::StaticTransformBroadcaster> map_;
};

TEST_F(TrashThread, GateOnTheTurnRateThenSelection)
{
  start(1, {"PAPER_CUP"});
  const Patch cup{kYellow, 290, 210};
  const Patch base{kCyan, 100, 210};
  const struct
  {
    std::vector<Patch> patches;
    std::optional<double> angular_z;
    const char * abandoned;  // the gate's line, or null when the frame passes
    const char * selected;
  } cases[] = {
    {{cup}, 0.6, "DEBUG cam_1, cmd_vel: 0.6 too large, thus abandoned!", nullptr},
    {{cup}, -0.6, "DEBUG cam_1, cmd_vel: -0.6 too large, thus abandoned!", nullptr},
    {{cup}, 0.5, nullptr, "DEBUG cam_1, trash size=1, base_waiting size=0"},
    {{cup}, std::nan(""), nullptr, "DEBUG cam_1, trash size=1, base_waiting size=0"},
    {{cup}, std::nullopt, nullptr, "DEBUG cam_1, trash size=1, base_waiting size=0"},
    {{base}, std::nullopt, nullptr, "DEBUG cam_1, trash size=0, base_waiting size=1"},
  };
  std::size_t passed = 0;
  for (const auto & c : cases) {
    handIn(c.patches, c.angular_z);
    passed += c.selected != nullptr;
  }
  // Every frame past the gate and the transforms updates and publishes the tracker.
  ASSERT_TRUE(wastes_->reaches(passed));
  const auto texts = stopCapture();
  EXPECT_EQ(wastes_->count(), passed);
  for (const auto & c : cases) {
    const std::string line = c.abandoned ? c.abandoned : c.selected;
    const auto frames = std::count_if(
      std::begin(cases), std::end(cases), [&](const auto & other) {
        return line == (other.abandoned ? other.abandoned : other.selected);
      });
    EXPECT_EQ(linesStarting(texts, line).size(), static_cast<std::size_t>(frames)) << line;
  }
  EXPECT_TRUE(errorLines(texts).empty()) << ::testing::PrintToString(errorLines(texts));
}

TEST_F(TrashThread, TheGateHearsAStreamingCmdVelInEveryWait)
{
  // The base controller streams cmd_vel at 50 Hz while the executor spins the
  // node: each wait must get one of the messages, none may go to the executor.
  start(1, {"PAPER_CUP"});
  std::atomic<bool> streaming{true};
  std::thread controller([&] {
      geometry_msgs::msg::Twist twist;
      twist.angular.z = 0.6;
      // On a fixed schedule: a late wake-up must not stretch the next gap.
      auto next = std::chrono::steady_clock::now();
      while (streaming) {
        cmd_vel_->publish(twist);
        next += std::chrono::milliseconds(20);
        std::this_thread::sleep_until(next);
      }
    });
  constexpr std::size_t kFrames = 40;
  for (std::size_t frame = 0; frame < kFrames; ++frame) {
    handIn({{kYellow, 290, 210}});
  }
  streaming = false;
  controller.join();
  const auto texts = stopCapture();
  const std::size_t refused =
    linesStarting(texts, "DEBUG cam_1, cmd_vel: 0.6 too large, thus abandoned!").size();
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  // A sanitizer build on a loaded machine can starve the controller thread
  // for the whole 100 ms wait; the release build holds the strict count.
  EXPECT_GE(refused + kFrames / 10, kFrames);
#else
  EXPECT_EQ(refused, kFrames);
  EXPECT_EQ(wastes_->count(), 0U);
#endif
}

TEST_F(TrashThread, PaperCupOutsideTheRegionIsAnnouncedOnceByCameraOne)
{
  start(2, {"PAPER_CUP"}, {{"model_meta_file", twoCupsMetaFile()}});
  // Two cups seen alike in every frame: each frame announces at most one,
  // the next frame the other, then neither again.
  const std::vector<Patch> cups{{kYellow, 150, 210}, {kGreen, 420, 210}};
  handIn(cups, std::nullopt, 2);
  for (int frame = 0; frame < 3; ++frame) {
    handIn(cups);
  }
  ASSERT_TRUE(events_->reaches(2));
  const auto texts = stopCapture();
  ASSERT_EQ(events_->count(), 2U);
  for (const auto & event : events_->messages()) {
    EXPECT_EQ(event->event_type, 4);
    EXPECT_EQ(event->event_code, 50012);
  }
  EXPECT_EQ(linesStarting(texts, "DEBUG cam_1 : trash=PAPER_CUP not in roi").size(), 5U);
  EXPECT_EQ(linesStarting(texts, "DEBUG cam_1 : map_dis < no_clean_trash_map_dis_th_").size(), 3U);
  EXPECT_EQ(
    linesStarting(texts, "INFO cam_1 : trash = PAPER_CUP not in roi and trash broadcast").size(),
    2U);
  // Camera 2 finds the cups outside the region too, and keeps quiet.
  EXPECT_EQ(linesStarting(texts, "DEBUG cam_2 : trash_use_status=false").size(), 2U);
  EXPECT_TRUE(linesStarting(texts, "DEBUG cam_2 : trash=").empty());
}

TEST_F(TrashThread, ClassWithoutHeightRangeIsDroppedAndReportedOnce)
{
  start(1, {"PERSON"});
  handIn({{kRed, 290, 210}});
  handIn({{kRed, 290, 210}});
  ASSERT_TRUE(wastes_->reaches(2));
  const auto texts = stopCapture();
  EXPECT_EQ(
    linesStarting(texts, "DEBUG cam_1 : trash=PERSON has no height range, thus abandoned!").size(),
    2U);
  const auto warnings = linesStarting(texts, "WARN cam_1 : trash class PERSON has no height range");
  ASSERT_EQ(warnings.size(), 1U);
  EXPECT_NE(warnings[0].find("/config/model_height.yaml"), std::string::npos) << warnings[0];
}

TEST_F(TrashThread, ColourImagesOfAnotherSizeReadOnlyInsideTheDepthImage)
{
  // The border rule off, so that a box past the depth image reaches the pixels.
  start(1, {"PAPER_CUP"}, {{"trash_detection.bbox_edge_threshold", -200}});
  handIn({{kYellow, 600, 370}}, std::nullopt, 1, 800, 500);  // past the right and bottom edge
  handIn({{kYellow, 100, 100}}, std::nullopt, 1, 320, 200);  // mask smaller than the depth
  const auto texts = stopCapture();
  // Both boxes had the points to be placed.
  EXPECT_EQ(linesStarting(texts, "DEBUG cam_1 : trash_use_status=").size(), 2U);
  EXPECT_TRUE(linesStarting(texts, "ERROR cam_1 trash frame dropped").empty());
}

}  // namespace
}  // namespace node_test
