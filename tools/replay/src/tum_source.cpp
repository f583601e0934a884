#include "tum_source.hpp"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <sstream>
#include <stdexcept>

#include <Eigen/Geometry>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

namespace replay
{
namespace
{

namespace fs = std::filesystem;

// The data lines of a TUM list: stamp first, comments ('#') skipped.
std::vector<std::vector<std::string>> listLines(const fs::path & file)
{
  std::ifstream in(file);
  std::vector<std::vector<std::string>> lines;
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream words(line);
    std::vector<std::string> fields{std::istream_iterator<std::string>(words), {}};
    if (!fields.empty() && fields[0][0] != '#') {
      lines.push_back(fields);
    }
  }
  return lines;
}

std::map<double, std::string> imageList(const fs::path & folder, const char * name)
{
  const fs::path file = folder / name;
  if (!fs::exists(file)) {
    throw std::runtime_error(file.string() + " is missing");
  }
  std::map<double, std::string> images;
  for (const auto & fields : listLines(file)) {
    if (fields.size() >= 2) {
      images[std::stod(fields[0])] = (folder / fields[1]).string();
    }
  }
  return images;
}

struct StampedPose
{
  double stamp;
  Eigen::Isometry3d pose;
};

// Camera poses of groundtruth.txt ("timestamp tx ty tz qx qy qz qw").
std::vector<StampedPose> groundTruth(const fs::path & file)
{
  std::vector<StampedPose> poses;
  for (const auto & f : listLines(file)) {
    if (f.size() < 8) {
      continue;
    }
    Eigen::Isometry3d pose = Eigen::Isometry3d::Identity();
    pose.translation() = Eigen::Vector3d(std::stod(f[1]), std::stod(f[2]), std::stod(f[3]));
    pose.linear() =
      Eigen::Quaterniond(std::stod(f[7]), std::stod(f[4]), std::stod(f[5]), std::stod(f[6]))
      .normalized().toRotationMatrix();
    poses.push_back({std::stod(f[0]), pose});
  }
  std::sort(poses.begin(), poses.end(),
    [](const StampedPose & a, const StampedPose & b) {return a.stamp < b.stamp;});
  return poses;
}

// Linear in position, spherical in rotation; held outside the recording.
Eigen::Isometry3d poseAt(const std::vector<StampedPose> & poses, double t)
{
  const auto next = std::lower_bound(poses.begin(), poses.end(), t,
      [](const StampedPose & p, double time) {return p.stamp < time;});
  if (next == poses.begin()) {return poses.front().pose;}
  if (next == poses.end()) {return poses.back().pose;}
  const StampedPose & a = *std::prev(next);
  const double s = (t - a.stamp) / (next->stamp - a.stamp);
  Eigen::Isometry3d pose = Eigen::Isometry3d::Identity();
  pose.translation() = (1.0 - s) * a.pose.translation() + s * next->pose.translation();
  pose.linear() = Eigen::Quaterniond(a.pose.linear())
    .slerp(s, Eigen::Quaterniond(next->pose.linear())).toRotationMatrix();
  return pose;
}

scene::RobotPath robotPath(std::vector<StampedPose> camera_poses,
  const Eigen::Isometry3f & base_from_optical, double first_stamp)
{
  if (camera_poses.empty()) {
    return scene::RobotPath();
  }
  const Eigen::Isometry3d optical_from_base = base_from_optical.cast<double>().inverse();
  auto poses = std::make_shared<const std::vector<StampedPose>>(std::move(camera_poses));
  const Eigen::Isometry3d base_from_world =
    (poseAt(*poses, first_stamp) * optical_from_base).inverse();
  return scene::RobotPath([poses, optical_from_base, base_from_world](double t) {
             const Eigen::Isometry3d odom_from_base =
             base_from_world * poseAt(*poses, t) * optical_from_base;
             const Eigen::Matrix3d r = odom_from_base.linear();
             return scene::Pose2{static_cast<float>(odom_from_base.translation().x()),
               static_cast<float>(odom_from_base.translation().y()),
               static_cast<float>(std::atan2(r(1, 0), r(0, 0)))};
           });
}

}  // namespace

std::vector<TumEntry> tumEntries(const std::string & folder)
{
  const std::map<double, std::string> colour = imageList(folder, "rgb.txt");
  const std::map<double, std::string> depth = imageList(folder, "depth.txt");
  std::vector<TumEntry> entries;
  const auto nearest = [&colour](double stamp) {
      const auto after = colour.lower_bound(stamp);
      if (after == colour.begin()) {return after;}
      const auto before = std::prev(after);
      return after == colour.end() || stamp - before->first <= after->first - stamp ?
             before : after;
    };
  for (const auto & [stamp, path] : depth) {
    if (!colour.empty()) {
      const auto match = nearest(stamp);
      entries.push_back({stamp, path, match->first, match->second});
    }
  }
  return entries;
}

TumSource::TumSource(const std::string & folder, const RecordedCamera & camera)
: folder_(folder), entries_(tumEntries(folder)),
  depth_units_per_metre_(camera.depth_units_per_metre)
{
  if (entries_.empty()) {
    throw std::runtime_error(folder + ": rgb.txt or depth.txt lists no image");
  }
  const cv::Mat first = cv::imread(entries_.front().depth_path, cv::IMREAD_ANYDEPTH);
  if (first.empty()) {
    throw std::runtime_error("cannot read " + entries_.front().depth_path);
  }
  rig_.cameras = {camera.camera};
  rig_.cameras[0].intrinsics.width = first.cols;
  rig_.cameras[0].intrinsics.height = first.rows;
  const fs::path truth = fs::path(folder) / "groundtruth.txt";
  if (fs::exists(truth)) {
    rig_.robot = robotPath(groundTruth(truth), camera.camera.base_from_optical,
        entries_.front().depth_stamp);
  }
}

SourceFrame TumSource::frame(std::size_t index) const
{
  const TumEntry & entry = entries_.at(index);
  SourceFrame out;
  out.t = entry.depth_stamp;
  out.stamp = entry.depth_stamp;
  out.colour_stamp = entry.colour_stamp;
  scene::Frame view;
  view.t = out.t;
  view.odom_from_base = rig_.robot.odomFromBase(out.t);
  const cv::Mat depth = cv::imread(entry.depth_path, cv::IMREAD_ANYDEPTH);
  const cv::Mat colour = cv::imread(entry.colour_path, cv::IMREAD_COLOR);
  if (depth.empty() || colour.empty()) {
    throw std::runtime_error("cannot read " + (depth.empty() ? entry.depth_path : entry.colour_path));
  }
  depth.convertTo(view.depth, CV_32F, 1.0 / depth_units_per_metre_);
  cv::cvtColor(colour, view.colour, cv::COLOR_BGR2RGB);
  out.views = {view};
  return out;
}

}  // namespace replay
