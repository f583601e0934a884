// The replay tool on the recorded dining-room frames as a real camera stamps
// them: seconds since 1970, colour before depth, streams that drop frames.
// Every depth frame plays; a frame without a robot pose cannot finish and is
// counted as missed while the run goes on; Ctrl-C while a frame is stuck
// still ends the run with its summary.  Skipped without the recorded frames.
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include <fmt/format.h>
#include <google/protobuf/util/json_util.h>
#include <gtest/gtest.h>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

#include "json_lines.hpp"
#include "process_runner.hpp"
#include "recorded_frames.hpp"
#include "recorder.hpp"
#include "top_down.hpp"

namespace
{

namespace fs = std::filesystem;
using google::protobuf::Value;

constexpr int kFrames = 5;
constexpr double kFirstStamp = 1548339826.779160;
constexpr double kPeriod = 1.0 / 30.0;
constexpr double kColourAhead = 0.0166;  // the colour image is stamped this much before depth

// A TUM folder of the recorded frames, named in place, never copied.
struct Recording
{
  std::set<int> colour_frames{0, 1, 2, 3, 4};  // frames whose colour image is listed
  bool with_poses = false;                     // groundtruth.txt from pose.txt
  std::set<int> frames_without_pose;           // their poses written as nan
  std::string params;                          // --params file text, if any
};

// The robot moving along the recorded poses, without one at `frames_without_pose`.
Recording moving(std::set<int> frames_without_pose = {})
{
  Recording recording;
  recording.with_poses = true;
  recording.frames_without_pose = std::move(frames_without_pose);
  return recording;
}

Recording colourOnly(std::set<int> colour_frames)
{
  Recording recording;
  recording.colour_frames = std::move(colour_frames);
  return recording;
}

fs::path temporaryFolder()
{
  std::string pattern = (fs::temp_directory_path() / "object_detect_replay_tum_XXXXXX").string();
  return mkdtemp(pattern.data());
}

void writeTumFolder(const fs::path & folder, const fs::path & frames, const Recording & recording)
{
  std::ofstream rgb(folder / "rgb.txt");
  std::ofstream depth(folder / "depth.txt");
  std::ifstream poses(frames / "pose.txt");
  std::ofstream truth;
  if (recording.with_poses) {
    truth.open(folder / "groundtruth.txt");
  }
  for (int k = 0; k < kFrames; ++k) {
    const double stamp = kFirstStamp + k * kPeriod;
    if (recording.colour_frames.count(k)) {
      rgb << fmt::format("{:.6f} {}\n", stamp - kColourAhead,
        (frames / "color" / fmt::format("{}.png", k + 1)).string());
    }
    depth << fmt::format("{:.6f} {}\n", stamp,
      (frames / "depth" / fmt::format("{}.pgm", k + 1)).string());
    std::string pose;
    std::getline(poses, pose);
    if (recording.frames_without_pose.count(k)) {
      pose = "nan nan nan nan nan nan nan";
    }
    // A pose at the colour stamp too: only this frame goes without one.
    for (const double at : {stamp - kColourAhead, stamp}) {
      truth << fmt::format("{:.6f} {}\n", at, pose);
    }
  }
}

replay::Json readJson(const fs::path & file)
{
  std::ifstream in(file);
  replay::Json value;
  EXPECT_TRUE(google::protobuf::util::JsonStringToMessage(
      std::string{std::istreambuf_iterator<char>(in), {}}, &value).ok()) << file;
  return value;
}

const Value & field(const replay::Json & object, const std::string & key)
{
  static const Value kMissing;
  const auto it = object.fields().find(key);
  return it == object.fields().end() ? kMissing : it->second;
}

struct Replayed
{
  node_test::ProcessResult process;
  replay::Json summary;
  double frames_missed = 0.0;  // camera 1's
  std::size_t pictures = 0;
};

// Runs the tool on the recording with the README's camera; SIGINT after
// `interrupt_after` when that is not zero.
Replayed replayRecording(const Recording & recording, const fs::path & folder,
  std::chrono::milliseconds interrupt_after = std::chrono::milliseconds(0))
{
  const fs::path tum = folder / "tum";
  const fs::path out = folder / "out";
  fs::create_directories(tum);
  writeTumFolder(tum, fs::path(recorded::dataFolder()) / "dining_room", recording);
  std::vector<std::string> args{"--tum", tum.string(), "--intrinsics", "518,519,325.5,253.5",
    "--depth-scale", "1000", "--mount", "0,0,1.4,0.27,0", "--out", out.string()};
  if (!recording.params.empty()) {
    std::ofstream(folder / "params.yaml") << recording.params;
    args.insert(args.end(), {"--params", (folder / "params.yaml").string()});
  }
  Replayed replayed;
  replayed.process = node_test::runProcess(OBJECT_DETECT_REPLAY, args, {}, interrupt_after,
      std::chrono::minutes(2));
  EXPECT_EQ(replayed.process.exit_status, 0) << replayed.process.output;
  replayed.summary = readJson(out / "summary.json");
  for (const Value & camera : field(replayed.summary, "cameras").list_value().values()) {
    if (field(camera.struct_value(), "camera").number_value() == 1) {
      replayed.frames_missed = field(camera.struct_value(), "frames_missed").number_value();
    }
  }
  for ([[maybe_unused]] const auto & entry : fs::directory_iterator(out / "topdown")) {
    ++replayed.pictures;
  }
  std::ifstream index(out / "index.html");
  const std::string page{std::istreambuf_iterator<char>(index), {}};
  const auto played = static_cast<std::size_t>(field(replayed.summary, "frames_played").number_value());
  EXPECT_EQ(replayed.pictures, played);
  if (played > 0) {
    EXPECT_NE(page.find(fmt::format("topdown/{:05d}.png", played - 1)), std::string::npos);
  }
  EXPECT_GT(fs::file_size(out / "node.log"), 0U) << "the node's log lines are lost";
  return replayed;
}

class ReplayRecording : public ::testing::Test
{
protected:
  void SetUp() override
  {
    if (recorded::dataFolder().empty()) {
      GTEST_SKIP() << "no recorded RGB-D frames";
    }
    folder_ = temporaryFolder();
  }
  void TearDown() override
  {
    if (!folder_.empty()) {
      fs::remove_all(folder_);
    }
  }

  fs::path folder_;
};

TEST_F(ReplayRecording, EveryDepthFramePlaysWithItsColourImage)
{
  struct Case
  {
    const char * name;
    Recording recording;
  };
  const Case cases[] = {
    {"colour 16.6 ms before depth", Recording()},
    {"robot moving along its recorded poses", moving()},
    // Half the colour rate and fewer colour than depth images.
    {"colour images dropped", colourOnly({0, 2, 4})},
  };
  for (const Case & c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path folder = folder_ / c.name;
    const Replayed replayed = replayRecording(c.recording, folder);
    EXPECT_EQ(field(replayed.summary, "frames_played").number_value(), kFrames);
    EXPECT_EQ(field(replayed.summary, "interrupted").number_value(), 0);
    EXPECT_EQ(replayed.frames_missed, 0);
    // Every frame paired: the detection image needs a colour image.
    std::size_t detection_images = 0;
    for ([[maybe_unused]] const auto & entry : fs::directory_iterator(folder / "out/detections")) {
      ++detection_images;
    }
    EXPECT_EQ(detection_images, static_cast<std::size_t>(kFrames));
  }
}

// Ground and obstacle pixels of the last picture farther ahead than the
// default view reaches.
int pixelsBeyondTheDefaultView(const fs::path & out)
{
  const cv::Mat picture = cv::imread((out / fmt::format("topdown/{:05d}.png", kFrames - 1)).string());
  const replay::TopDownView standard;
  const float ahead = static_cast<float>(picture.rows - standard.legend_rows) /
    standard.pixels_per_metre - standard.behind;
  const int rows = static_cast<int>((ahead - standard.ahead) * standard.pixels_per_metre);
  int count = 0;
  for (const int layer : {replay::kGround, replay::kStatic, replay::kDynamic}) {
    const cv::Vec3b colour = replay::layerColour(layer);
    cv::Mat match;
    cv::inRange(picture.rowRange(0, std::max(rows, 0)), colour, colour, match);
    count += rows > 0 ? cv::countNonZero(match) : 0;
  }
  return count;
}

TEST_F(ReplayRecording, TheFarRangeExampleShowsWhatLiesBeyondThreeAndAHalfMetres)
{
  Recording far = moving();
  far.params = "object_detect:\n  ros__parameters:\n    cloud_min_point: 2\n"
    "    cam1:\n      point_cloud_max_range: 4.5\n";
  replayRecording(far, folder_);
  EXPECT_GT(pixelsBeyondTheDefaultView(folder_ / "out"), 100);
}

TEST_F(ReplayRecording, AFrameWithoutARobotPoseIsMissedAndTheRunGoesOn)
{
  const Replayed replayed = replayRecording(moving({2}), folder_);
  EXPECT_EQ(field(replayed.summary, "frames_played").number_value(), kFrames);
  EXPECT_EQ(field(replayed.summary, "interrupted").number_value(), 0);
  EXPECT_EQ(replayed.frames_missed, 1);
  EXPECT_NE(replayed.process.output.find("1 missed"), std::string::npos)
    << replayed.process.output;
}

TEST_F(ReplayRecording, CtrlCWhileAFrameIsStuckEndsWithTheSummary)
{
  // No pose at all: every frame waits 5 s until it is counted missed and
  // then about a second for its look-ups, so the Ctrl-C comes while a frame is
  // stuck; late, as a loaded machine takes seconds to start a sanitizer build.
  // The bound is generous: the tool ends in half a second here.
  const auto interrupt_after = std::chrono::seconds(10);
  const auto start = std::chrono::steady_clock::now();
  const Replayed replayed = replayRecording(moving({0, 1, 2, 3, 4}), folder_, interrupt_after);
  const auto ended_after = std::chrono::steady_clock::now() - start - interrupt_after;
  EXPECT_EQ(field(replayed.summary, "interrupted").number_value(), 1);
  EXPECT_LT(field(replayed.summary, "frames_played").number_value(), kFrames);
  EXPECT_LT(ended_after, std::chrono::seconds(10)) << "Ctrl-C did not end the run";
}

}  // namespace
