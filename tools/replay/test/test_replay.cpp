// The replay tool run as a user runs it, on the first frames of its built-in
// scene: every file it writes parses, what the node publishes lies where the
// scene put things, and Ctrl-C keeps what was written.
#include <stdlib.h>

#include <filesystem>
#include <algorithm>
#include <chrono>
#include <fstream>
#include <string>
#include <vector>

#include <Eigen/Geometry>
#include <fmt/format.h>
#include <google/protobuf/util/json_util.h>
#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <pcl/io/pcd_io.h>
#include <pcl/point_types.h>

#include "default_scene.hpp"
#include "json_lines.hpp"
#include "process_runner.hpp"
#include "recorder.hpp"
#include "top_down.hpp"

namespace
{

namespace fs = std::filesystem;
using google::protobuf::Value;

constexpr int kFrames = 24;

fs::path temporaryFolder()
{
  std::string pattern = (fs::temp_directory_path() / "object_detect_replay_XXXXXX").string();
  return mkdtemp(pattern.data());
}

replay::Json parse(const std::string & text)
{
  replay::Json value;
  EXPECT_TRUE(google::protobuf::util::JsonStringToMessage(text, &value).ok()) << text;
  return value;
}

std::vector<replay::Json> jsonLines(const fs::path & file)
{
  std::ifstream in(file);
  EXPECT_TRUE(in) << file;
  std::vector<replay::Json> lines;
  for (std::string line; std::getline(in, line); ) {
    lines.push_back(parse(line));
  }
  return lines;
}

const Value & field(const replay::Json & object, const std::string & key)
{
  static const Value kMissing;
  const auto it = object.fields().find(key);
  return it == object.fields().end() ? kMissing : it->second;
}

Eigen::Vector2d xy(const Value & list)
{
  const auto & values = list.list_value().values();
  return values.size() >= 2 ? Eigen::Vector2d(values[0].number_value(), values[1].number_value()) :
         Eigen::Vector2d::Constant(1e9);
}

// Where the built-in scene puts things.
class SceneTruth
{
public:
  // Object `id` at frame `frame`, in that frame's base frame.
  Eigen::Vector2d at(int id, int frame) const
  {
    const double t = frame / replay::kSceneRate;
    const Eigen::Vector3f centre = scene_.room.object(id)->centreAt(t);
    return (baseFromOdom(frame) * centre).head<2>().cast<double>();
  }
  Eigen::Vector2d inMap(int id) const
  {
    const Eigen::Isometry3f map_from_odom =
      scene_.frames.map_from_odom_fusion * scene_.frames.odom_fusion_from_odom;
    return (map_from_odom * scene_.room.object(id)->centre).head<2>().cast<double>();
  }
  // The floor under the still objects at frame `frame`, in the picture, widened
  // by half a voxel: points of a surface are drawn as voxel squares.
  cv::Mat footprints(int frame, const replay::TopDownView & view) const
  {
    cv::Mat inside(view.size(), CV_8U, cv::Scalar(0));
    for (const scene::Object & object : scene_.room.objects) {
      if (object.id == replay::kPersonId) {
        continue;
      }
      std::vector<cv::Point> corners;
      for (const int corner : {0, 1, 2, 3, 4, 5, 6, 7}) {
        const Eigen::Vector3f sign(corner & 1 ? 1.0F : -1.0F, corner & 2 ? 1.0F : -1.0F,
          corner & 4 ? 1.0F : -1.0F);
        const Eigen::Vector3f p =
          object.centre + object.rotation * sign.cwiseProduct(object.half_size);
        corners.push_back(view.pixelOf((baseFromOdom(frame) * p).head<2>()));
      }
      cv::convexHull(std::vector<cv::Point>(corners), corners);
      cv::fillConvexPoly(inside, corners, cv::Scalar(255));
    }
    cv::dilate(inside, inside, cv::Mat::ones(7, 7, CV_8U));
    return inside;
  }

private:
  Eigen::Isometry3f baseFromOdom(int frame) const
  {
    return scene_.robot.odomFromBase(frame / replay::kSceneRate).inverse();
  }

  scene::Scene scene_ = replay::defaultScene();
};

void expectEveryFileParses(const fs::path & folder)
{
  std::ifstream summary_file(folder / "summary.json");
  const replay::Json summary = parse({std::istreambuf_iterator<char>(summary_file), {}});
  EXPECT_EQ(field(summary, "frames_played").number_value(), kFrames);
  EXPECT_EQ(field(summary, "interrupted").number_value(), 0);
  EXPECT_FALSE(field(summary, "stages").list_value().values().empty())
    << "no run times from the node's log";

  const cv::Size picture = replay::TopDownView().size();
  for (int k = 0; k < kFrames; ++k) {
    const cv::Mat top = cv::imread((folder / fmt::format("topdown/{:05d}.png", k)).string());
    EXPECT_EQ(top.size(), picture) << k;
    for (int camera : {1, 2}) {
      const cv::Mat detections =
        cv::imread((folder / replay::Recorder::detectionImageName(k, camera)).string());
      EXPECT_EQ(detections.size(), cv::Size(640, 400)) << k << " camera " << camera;
    }
  }
  std::ifstream index(folder / "index.html");
  const std::string page{std::istreambuf_iterator<char>(index), {}};
  EXPECT_NE(page.find(fmt::format("topdown/{:05d}.png", kFrames - 1)), std::string::npos);

  for (const char * name : {"objects.jsonl", "clouds.jsonl", "tracks.jsonl", "events.jsonl"}) {
    SCOPED_TRACE(name);
    for (const replay::Json & line : jsonLines(folder / name)) {
      EXPECT_LT(field(line, "frame").number_value(), kFrames);
    }
  }
  std::size_t clouds = 0;
  for (const auto & entry : fs::directory_iterator(folder / "clouds")) {
    pcl::PointCloud<pcl::PointXYZL> cloud;
    EXPECT_EQ(pcl::io::loadPCDFile(entry.path().string(), cloud), 0) << entry.path();
    EXPECT_FALSE(cloud.empty()) << entry.path();
    ++clouds;
  }
  EXPECT_GE(clouds, 4U * kFrames);  // ground, static and a region of two cameras at least
}

// Per thing of the scene: the output that must carry it, near where it is.
struct Sighting
{
  const char * what;
  const char * file;
  const char * layer;  // clouds.jsonl layer, or an object-list topic
  const char * kind;   // class name, or "person"
  int id;
  double tolerance;    // metres
};

void expectThingsWhereTheSceneHasThem(const fs::path & folder, const SceneTruth & truth)
{
  const Sighting sightings[] = {
    // An object-list position is the centroid of the visible front of the body.
    {"person", "objects.jsonl", "/objects_rgbd_1", "person", replay::kPersonId, 0.25},
    {"bottle", "clouds.jsonl", "static", "BOTTLE", replay::kBottleId, 0.08},
    {"paper cup", "clouds.jsonl", "static", "PAPER_CUP", replay::kCupId, 0.08},
  };
  for (const Sighting & s : sightings) {
    SCOPED_TRACE(s.what);
    int frames_seen = 0;
    for (const replay::Json & line : jsonLines(folder / s.file)) {
      const bool list = field(line, "topic").string_value() == s.layer;
      if (!list && field(line, "layer").string_value() != s.layer) {
        continue;
      }
      const int frame = static_cast<int>(field(line, "frame").number_value());
      bool seen = false;
      for (const Value & entry : field(line, list ? "objects" : "items").list_value().values()) {
        const replay::Json & item = entry.struct_value();
        const bool match = list ? field(item, "is_person").number_value() == 1 :
          field(item, "class").string_value() == s.kind;
        if (!match) {
          continue;
        }
        const Eigen::Vector2d at = xy(field(item, list ? "position" : "centroid"));
        EXPECT_LT((at - truth.at(s.id, frame)).norm(), s.tolerance)
          << "frame " << frame << " at " << at.transpose();
        seen = true;
      }
      frames_seen += seen;
    }
    EXPECT_GE(frames_seen, kFrames / 2);
  }

  // The tracker's last word: one track per bottle and cup, where it lies in "map".
  const auto tracks = jsonLines(folder / "tracks.jsonl");
  ASSERT_FALSE(tracks.empty());
  const auto & last = field(tracks.back(), "wastes").list_value().values();
  ASSERT_EQ(last.size(), 2);
  for (const auto & [kind, id] : {std::make_pair("BOTTLE", replay::kBottleId),
      std::make_pair("PAPER_CUP", replay::kCupId)})
  {
    const auto track = std::find_if(last.begin(), last.end(), [kind = kind](const Value & w) {
          return field(w.struct_value(), "class").string_value() == kind;
        });
    ASSERT_NE(track, last.end()) << kind;
    EXPECT_LT((xy(field(track->struct_value(), "position")) - truth.inMap(id)).norm(), 0.08)
      << kind;
  }
}

// The last picture's static-obstacle pixels lie on the still objects.
void expectStaticPixelsOnTheFurniture(const fs::path & folder, const SceneTruth & truth)
{
  const int frame = kFrames - 1;
  const cv::Mat picture = cv::imread((folder / fmt::format("topdown/{:05d}.png", frame)).string());
  ASSERT_FALSE(picture.empty());
  const replay::TopDownView view;
  cv::Mat coloured;
  const cv::Vec3b colour = replay::layerColour(replay::kStatic);
  cv::inRange(picture, colour, colour, coloured);
  coloured.rowRange(view.legendTop(), coloured.rows).setTo(0);
  const cv::Mat on_objects = truth.footprints(frame, view);
  cv::Mat outside;
  cv::bitwise_and(coloured, ~on_objects, outside);
  const int all = cv::countNonZero(coloured);
  EXPECT_GT(all, 50);
  EXPECT_LE(cv::countNonZero(outside), all / 20);
}

TEST(Replay, DefaultSceneOutputsParseAndShowTheScene)
{
  const fs::path folder = temporaryFolder();
  const auto result = node_test::runProcess(OBJECT_DETECT_REPLAY,
      {"--frames", std::to_string(kFrames), "--out", folder.string()}, {},
      std::chrono::milliseconds(0), std::chrono::minutes(2));
  ASSERT_EQ(result.exit_status, 0) << result.output;
  const SceneTruth truth;
  {
    SCOPED_TRACE("files");
    expectEveryFileParses(folder);
  }
  {
    SCOPED_TRACE("sightings");
    expectThingsWhereTheSceneHasThem(folder, truth);
  }
  {
    SCOPED_TRACE("top-down picture");
    expectStaticPixelsOnTheFurniture(folder, truth);
  }
  fs::remove_all(folder);
}

TEST(ReplayInterrupted, CtrlCKeepsWhatWasWritten)
{
  const fs::path folder = temporaryFolder();
  // Late enough for a sanitizer build on a loaded machine to have set up its
  // handler (loading takes seconds there): a Ctrl-C before that ends the
  // process as it ends any.
  const auto result = node_test::runProcess(OBJECT_DETECT_REPLAY, {"--out", folder.string()}, {},
      std::chrono::seconds(10), std::chrono::minutes(2));
  ASSERT_EQ(result.exit_status, 0) << result.output;
  std::ifstream summary_file(folder / "summary.json");
  const replay::Json summary = parse({std::istreambuf_iterator<char>(summary_file), {}});
  EXPECT_EQ(field(summary, "interrupted").number_value(), 1);
  const auto played = static_cast<std::size_t>(field(summary, "frames_played").number_value());
  std::size_t pictures = 0;
  for ([[maybe_unused]] const auto & entry : fs::directory_iterator(folder / "topdown")) {
    ++pictures;
  }
  EXPECT_EQ(pictures, played);
  EXPECT_TRUE(fs::exists(folder / "index.html"));
  fs::remove_all(folder);
}

}  // namespace
