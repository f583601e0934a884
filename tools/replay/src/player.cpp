#include "player.hpp"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <map>
#include <memory>
#include <thread>

#include <fmt/format.h>
#include <opencv2/imgcodecs.hpp>

#include "floor_picture.hpp"
#include "node_parameters.hpp"
#include "node_runner.hpp"
#include "progress_bar.hpp"
#include "recorder.hpp"
#include "recording_clock.hpp"
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

// A frame the node has not finished within this is counted as missed and let
// go: the clock runs on.  Frames take milliseconds here, a second at most in
// sanitizer builds.
constexpr std::chrono::seconds kFrameLimit(5);
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

int64_t nanoseconds(double seconds)
{
  const builtin_interfaces::msg::Time stamp = scene::toStamp(seconds);
  return static_cast<int64_t>(stamp.sec) * 1000000000LL + stamp.nanosec;
}

// False at `end` or once `stop` is set.
template<typename Condition>
bool waitUntil(Condition done, Clock::time_point end, const std::atomic<bool> & stop)
{
  while (!done()) {
    if (Clock::now() > end || stop.load()) {
      return false;
    }
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  return true;
}

// The times the node looks the robot up at for a frame: the colour stamp,
// the depth stamp and their mean.
std::vector<double> lookUpStamps(const SourceFrame & frame)
{
  std::vector<double> stamps{frame.colour_stamp, 0.5 * (frame.colour_stamp + frame.stamp),
    frame.stamp};
  std::sort(stamps.begin(), stamps.end());
  stamps.erase(std::unique(stamps.begin(), stamps.end()), stamps.end());
  return stamps;
}

// One replay: the node, its feed and its recorder.
class Player
{
public:
  Player(const FrameSource & source, const std::vector<std::string> & params_files,
    const std::vector<rclcpp::Parameter> & overrides, const std::string & out,
    const std::atomic<bool> & stop);
  // Lets the node end what it still waits for before it is stopped.
  ~Player();
  PlayResult run(std::size_t frames);

private:
  void sendRobot(const SourceFrame & frame);
  void settleLateFrames();
  void sendColour(const SourceFrame & frame);
  void sendDepth(const SourceFrame & frame, std::size_t index, ProgressBar & progress);
  void finishFrame(std::size_t frame);

  const FrameSource & source_;
  const scene::Scene & rig_;
  std::string out_;
  const std::atomic<bool> & stop_;
  // Declared before the node: it runs until the node's threads have ended.
  rclcpp::Node::SharedPtr peer_;
  RecordingClock clock_;
  NodeRunner runner_;
  std::vector<scene::CameraTopics> topics_;
  std::unique_ptr<scene::ScenePublisher> feed_;
  std::vector<rclcpp::Publisher<Image>::SharedPtr> colour_;
  std::vector<rclcpp::Publisher<Image>::SharedPtr> depth_;
  std::map<int, std::shared_ptr<DepthCamera>> cameras_;
  std::unique_ptr<Recorder> recorder_;
  TopDownView view_;
  std::vector<double> times_;
  std::map<int, std::size_t> colour_taken_;  // colour images taken before this frame's own
  Clock::time_point colour_sent_;
  std::map<int, std::size_t> frames_owed_;  // framesDone() once every frame sent is finished
  std::map<int, std::vector<double>> frame_ms_;
  std::map<int, std::size_t> missed_;
};

Player::Player(const FrameSource & source, const std::vector<std::string> & params_files,
  const std::vector<rclcpp::Parameter> & overrides, const std::string & out,
  const std::atomic<bool> & stop)
: source_(source), rig_(source.rig()), out_(out), stop_(stop),
  peer_(std::make_shared<rclcpp::Node>("object_detect_replay")), clock_(peer_),
  runner_(params_files, overrides)
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
  view_ = viewOfRange(rig_, largestRange(runner_.node(), rig_.cameras.size()));
}

Player::~Player()
{
  // A frame still in hand or a worker in a look-up ends within the timeout.
  if (stop_.load()) {
    clock_.runOut();
  } else {
    clock_.run();
  }
}

PlayResult Player::run(std::size_t frames)
{
  SourceFrame frame = source_.frame(0);
  runner_.start([&] {
      clock_.standAt(frame.stamp);
      sendRobot(frame);
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
  for (; played < frames && !stop_.load(); ++played) {
    if (played > 0) {
      frame = source_.frame(played);
    }
    robot.follow(rig_.robot, frame.t);
    settleLateFrames();
    if (stop_.load()) {
      break;
    }
    times_.push_back(frame.t);
    sendColour(frame);
    // While the cameras queue the colour images.
    if (played > 0) {
      finishFrame(played - 1);
    }
    recorder_->beginFrame(played, frame.stamp);
    sendDepth(frame, played, progress);
    progress.show(played + 1);
  }
  if (stop_.load()) {
    clock_.runOut();
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
  summary.interrupted = played < frames || stop_.load();
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

// odom -> base_footprint at every time the node looks it up at for the frame,
// before the frame goes out.  A recording without a pose there gives none.
void Player::sendRobot(const SourceFrame & frame)
{
  for (const double stamp : lookUpStamps(frame)) {
    const double t = frame.t + (stamp - frame.stamp);
    const scene::Pose2 pose = rig_.robot.at(t);
    if (std::isfinite(pose.x) && std::isfinite(pose.y) && std::isfinite(pose.yaw)) {
      feed_->publishRobot(t, stamp);
    }
  }
}

// A missed frame may still be in hand: the clock runs on until it ends, so
// that the next depth image is not queued behind it.
void Player::settleLateFrames()
{
  for (const auto & [id, camera] : cameras_) {
    const std::size_t owed = frames_owed_[id];
    if (camera->framesDone() < owed) {
      clock_.run();
      waitUntil([&, camera = camera] {return camera->framesDone() >= owed;},
        Clock::now() + kFrameLimit, stop_);
    }
  }
}

// The node pairs a depth image with the closest colour image it has queued:
// like a camera driver's, the colour image is there before its depth image.
void Player::sendColour(const SourceFrame & frame)
{
  clock_.standAt(frame.stamp);
  // The node judges an image's age by its own clock; after a missed frame
  // that clock may be ahead of the recording.
  const int64_t now = nanoseconds(clock_.now());
  waitUntil([&] {return runner_.node().now().nanoseconds() >= now;},
    Clock::now() + kFrameLimit, stop_);
  sendRobot(frame);
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

void Player::sendDepth(const SourceFrame & frame, std::size_t index, ProgressBar & progress)
{
  waitUntil([this] {
      for (const auto & [id, camera] : cameras_) {
        if (camera->rgbImagesDone() == colour_taken_[id]) {
          return false;
        }
      }
      return true;
    }, colour_sent_ + kFrameLimit, stop_);
  for (const auto & [id, camera] : cameras_) {
    // A frame still in hand ends first; one still queued is replaced by this.
    const std::size_t done = camera->framesDone();
    frames_owed_[id] = done + (done < frames_owed_[id] ? 1 : 0) + 1;
  }
  const Clock::time_point sent = Clock::now();
  for (std::size_t i = 0; i < rig_.cameras.size(); ++i) {
    depth_[i]->publish(scene::depthImage(frame.views[i], topics_[i].depth_encoding, frame.stamp,
        rig_.cameras[i].frame_id));
  }
  for (const auto & [id, camera] : cameras_) {
    const std::size_t owed = frames_owed_[id];
    if (waitUntil([&, camera = camera] {return camera->framesDone() >= owed;},
      sent + kFrameLimit, stop_))
    {
      frame_ms_[id].push_back(1000.0 * secondsSince(sent));
    } else if (!stop_.load()) {
      ++missed_[id];
      progress.note(fmt::format(
          "frame {} (stamp {:.6f}): camera {} has not finished it after {} s; counted as missed, "
          "the clock runs on", index, frame.stamp, id, kFrameLimit.count()));
      // As a recording player's would: what the node waits for on it times out.
      clock_.run();
    }
  }
}

void Player::finishFrame(std::size_t frame)
{
  recorder_->collect();
  cv::imwrite(out_ + "/" + topDownName(frame),
    drawTopDown(floorPicture(*recorder_, rig_, times_, frame), view_),
    {cv::IMWRITE_PNG_COMPRESSION, 1});
}

}  // namespace

PlayResult play(const FrameSource & source, const std::vector<std::string> & params_files,
  const std::vector<rclcpp::Parameter> & overrides, const std::string & out, std::size_t frames,
  const std::atomic<bool> & stop)
{
  PlayResult result;
  {
    Player player(source, params_files, overrides, out, stop);
    result = player.run(frames);
  }
  for (const std::string & file : params_files) {
    result.summary.parameters.push_back("file " + file);
  }
  for (const rclcpp::Parameter & p : overrides) {
    result.summary.parameters.push_back(p.get_name() + " = " + p.value_to_string());
  }
  return result;
}

}  // namespace replay
