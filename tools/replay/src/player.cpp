#include "player.hpp"

#include <chrono>
#include <filesystem>
#include <map>
#include <memory>
#include <thread>

#include <fmt/format.h>
#include <opencv2/imgcodecs.hpp>

#include "floor_picture.hpp"
#include "node_runner.hpp"
#include "progress_bar.hpp"
#include "recorder.hpp"
#include "robot_inputs.hpp"
#include "scene/ros_messages.hpp"
#include "scene/scene_publisher.hpp"
#include "sensor_msgs/msg/image.hpp"
#include "top_down.hpp"

namespace replay
{
namespace
{

using Clock = std::chrono::steady_clock;
using sensor_msgs::msg::Image;

// A frame may wait for a model inference, seconds in sanitizer builds.
constexpr std::chrono::seconds kFrameLimit(60);
// How long the cameras are given to take a colour image in.
constexpr std::chrono::seconds kColourTaken(5);
// The worker threads' last outputs arrive after the last frame.
constexpr std::chrono::milliseconds kLastOutputs(300);

double secondsSince(Clock::time_point start)
{
  return std::chrono::duration<double>(Clock::now() - start).count();
}

std::string topDownName(std::size_t frame)
{
  return fmt::format("topdown/{:05d}.png", frame);
}

template<typename Condition>
bool waitUntil(Condition done, Clock::time_point end)
{
  while (!done()) {
    if (Clock::now() > end) {
      return false;
    }
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  return true;
}

// One replay: the node, its feed and its recorder.
class Player
{
public:
  Player(const FrameSource & source, const std::vector<std::string> & params_files,
    const std::vector<rclcpp::Parameter> & overrides, const std::string & out);
  PlayResult run(std::size_t frames, const std::atomic<bool> & stop);

private:
  void sendColour(const SourceFrame & frame);
  void sendDepth(const SourceFrame & frame);
  void finishFrame(std::size_t frame);

  const FrameSource & source_;
  const scene::Scene & rig_;
  std::string out_;
  NodeRunner runner_;
  rclcpp::Node::SharedPtr peer_;
  std::vector<scene::CameraTopics> topics_;
  std::unique_ptr<scene::ScenePublisher> feed_;
  std::vector<rclcpp::Publisher<Image>::SharedPtr> colour_;
  std::vector<rclcpp::Publisher<Image>::SharedPtr> depth_;
  std::map<int, std::shared_ptr<DepthCamera>> cameras_;
  std::unique_ptr<Recorder> recorder_;
  std::vector<double> times_;
  std::map<int, std::size_t> colour_taken_;  // colour images taken before this frame's own
  Clock::time_point colour_sent_;
  std::map<int, std::vector<double>> frame_ms_;
  std::map<int, std::size_t> missed_;
};

Player::Player(const FrameSource & source, const std::vector<std::string> & params_files,
  const std::vector<rclcpp::Parameter> & overrides, const std::string & out)
: source_(source), rig_(source.rig()), out_(out), runner_(params_files, overrides),
  peer_(std::make_shared<rclcpp::Node>("object_detect_replay"))
{
  std::filesystem::create_directories(out + "/topdown");
  // Camera i of the source feeds the node's camera i + 1, on the node's topics.
  for (std::size_t i = 0; i < rig_.cameras.size(); ++i) {
    const CameraTopics & t = runner_.node().cameraTopics().at(i);
    topics_.push_back({t.rgb, t.depth, t.camera_info});
    colour_.push_back(peer_->create_publisher<Image>(t.rgb, rclcpp::QoS(5)));
    depth_.push_back(peer_->create_publisher<Image>(t.depth, rclcpp::QoS(5)));
  }
  feed_ = std::make_unique<scene::ScenePublisher>(peer_, rig_, topics_);
}

PlayResult Player::run(std::size_t frames, const std::atomic<bool> & stop)
{
  SourceFrame frame = source_.frame(0);
  runner_.start([&] {
      feed_->publishClock(frame.stamp);
      feed_->publishRobot(frame.t, frame.stamp);
      for (std::size_t i = 0; i < rig_.cameras.size(); ++i) {
        feed_->publishCameraInfo(i, frame.stamp);
      }
    });
  std::vector<int> ids;
  for (const auto & camera : runner_.node().depthCameras()) {
    cameras_[camera->cameraId()] = camera;
    ids.push_back(camera->cameraId());
  }
  recorder_ = std::make_unique<Recorder>(ids, out_);
  RobotInputs robot(peer_);
  ProgressBar progress(frames);
  const Clock::time_point start = Clock::now();
  std::size_t played = 0;
  for (; played < frames && !stop.load(); ++played) {
    if (played > 0) {
      frame = source_.frame(played);
    }
    times_.push_back(frame.t);
    robot.follow(rig_.robot, frame.t);
    sendColour(frame);
    // While the cameras queue the colour images.
    if (played > 0) {
      finishFrame(played - 1);
    }
    recorder_->beginFrame(played, frame.stamp);
    sendDepth(frame);
    progress.show(played + 1);
  }
  if (played > 0) {
    finishFrame(played - 1);
  }
  PlayResult result;
  ReplaySummary & summary = result.summary;
  summary.wall_seconds = secondsSince(start);
  progress.finish();
  std::this_thread::sleep_for(kLastOutputs);
  recorder_->collect();

  summary.source = source_.name();
  summary.frames_planned = frames;
  summary.frames_played = played;
  summary.interrupted = played < frames;
  for (const auto & [id, values] : frame_ms_) {
    summary.frame_ms[id] = spreadOf(values);
  }
  summary.frames_missed = missed_;
  summary.counts = recorder_->counts();
  summary.tracks_last = recorder_->tracks().wastes.size();
  for (std::size_t k = 0; k < played; ++k) {
    FramePage page{k, times_[k] - times_.front(), topDownName(k), {}};
    for (const int id : ids) {
      if (recorder_->detectionImages().count({k, id})) {
        page.detection_images.push_back(Recorder::detectionImageName(k, id));
      }
    }
    result.pages.push_back(page);
  }
  return result;
}

// The node pairs a depth image with the closest colour image it has queued:
// like a camera driver's, the colour image is there before its depth image.
void Player::sendColour(const SourceFrame & frame)
{
  feed_->publishClock(frame.stamp);
  // The node judges an image's age by its own clock.
  const builtin_interfaces::msg::Time stamp = scene::toStamp(frame.stamp);
  const int64_t now = static_cast<int64_t>(stamp.sec) * 1000000000LL + stamp.nanosec;
  waitUntil([&] {return runner_.node().now().nanoseconds() >= now;}, Clock::now() + kFrameLimit);
  feed_->publishRobot(frame.t, frame.stamp);
  for (const auto & [id, camera] : cameras_) {
    colour_taken_[id] = camera->rgbImagesDone();
  }
  colour_sent_ = Clock::now();
  for (std::size_t i = 0; i < rig_.cameras.size(); ++i) {
    feed_->publishCameraInfo(i, frame.stamp);
    colour_[i]->publish(
      scene::colourImage(frame.views[i], frame.colour_stamp, rig_.cameras[i].frame_id));
  }
}

void Player::sendDepth(const SourceFrame & frame)
{
  waitUntil([this] {
      for (const auto & [id, camera] : cameras_) {
        if (camera->rgbImagesDone() == colour_taken_[id]) {
          return false;
        }
      }
      return true;
    }, colour_sent_ + kColourTaken);
  std::map<int, std::size_t> before;
  for (const auto & [id, camera] : cameras_) {
    before[id] = camera->framesDone();
  }
  const Clock::time_point sent = Clock::now();
  for (std::size_t i = 0; i < rig_.cameras.size(); ++i) {
    depth_[i]->publish(scene::depthImage(frame.views[i], topics_[i].depth_encoding, frame.stamp,
        rig_.cameras[i].frame_id));
  }
  for (const auto & [id, camera] : cameras_) {
    if (waitUntil([&] {return camera->framesDone() != before[id];}, sent + kFrameLimit)) {
      frame_ms_[id].push_back(1000.0 * secondsSince(sent));
    } else {
      ++missed_[id];
    }
  }
}

void Player::finishFrame(std::size_t frame)
{
  recorder_->collect();
  cv::imwrite(out_ + "/" + topDownName(frame),
    drawTopDown(floorPicture(*recorder_, rig_, times_, frame)), {cv::IMWRITE_PNG_COMPRESSION, 1});
}

}  // namespace

PlayResult play(const FrameSource & source, const std::vector<std::string> & params_files,
  const std::vector<rclcpp::Parameter> & overrides, const std::string & out, std::size_t frames,
  const std::atomic<bool> & stop)
{
  Player player(source, params_files, overrides, out);
  PlayResult result = player.run(frames, stop);
  for (const std::string & file : params_files) {
    result.summary.parameters.push_back("file " + file);
  }
  for (const rclcpp::Parameter & p : overrides) {
    result.summary.parameters.push_back(p.get_name() + " = " + p.value_to_string());
  }
  return result;
}

}  // namespace replay
