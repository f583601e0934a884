// Settings, geometry checks and bad frames of the moving-point detector.

#include <cmath>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "pelorin/perception/dynamic_cloud_detector.hpp"

namespace
{

using pelorin::perception::DynamicCloudDetector;
using pelorin::perception::DynamicDetectorParams;
using pelorin::perception::ParseDynamicDetectorParams;
using Cloud = pcl::PointCloud<pcl::PointXYZ>;

constexpr int kWidth = 64;
constexpr int kHeight = 48;
const float kNaN = std::numeric_limits<float>::quiet_NaN();

Eigen::Matrix3f Intrinsics()
{
  Eigen::Matrix3f k;
  k << 50.0F, 0.0F, 31.5F, 0.0F, 50.0F, 23.5F, 0.0F, 0.0F, 1.0F;
  return k;
}

geometry_msgs::msg::Pose Origin()
{
  geometry_msgs::msg::Pose pose;
  pose.orientation.w = 1.0;
  return pose;
}

// A block of points 1.5 m ahead of a camera that sits at the base origin.
std::shared_ptr<Cloud> Block()
{
  auto cloud = std::make_shared<Cloud>();
  for (float x = -0.2F; x <= 0.2F; x += 0.02F) {
    for (float y = -0.2F; y <= 0.2F; y += 0.02F) {
      cloud->push_back(pcl::PointXYZ(x, y, 1.5F));
    }
  }
  return cloud;
}

// A wall at 3 m, then the block appears in front of it: the block is moving.
std::unique_ptr<DynamicCloudDetector> DetectorThatSawTheBlockArrive()
{
  auto detector = std::make_unique<DynamicCloudDetector>(YAML::Node());
  EXPECT_TRUE(detector->Init(Eigen::Matrix4f::Identity(), Intrinsics(), kWidth, kHeight, 4.0F));
  detector->Update(std::make_shared<Cloud>(), cv::Mat(kHeight, kWidth, CV_32FC1, 3.0F), Origin());
  detector->Update(Block(), cv::Mat(kHeight, kWidth, CV_32FC1, 1.5F), Origin());
  return detector;
}

std::size_t MovingPoints(const DynamicCloudDetector& detector, const Cloud& cloud)
{
  Cloud moving;
  Cloud still;
  detector.DivideCloud(cloud, moving, still);
  EXPECT_EQ(moving.size() + still.size(), cloud.size());
  return moving.size();
}

TEST(DynamicCloudDetectorInputs, BlockInFrontOfAnEarlierWallIsMoving)
{
  const auto detector = DetectorThatSawTheBlockArrive();
  EXPECT_TRUE(detector->division_available_);
  const auto block = Block();
  EXPECT_EQ(MovingPoints(*detector, *block), block->size());

  // A point in no labelled cell and a NaN point go to the still part.
  Cloud other;
  other.push_back(pcl::PointXYZ(5.0F, 5.0F, 5.0F));
  other.push_back(pcl::PointXYZ(kNaN, 0.0F, 1.5F));
  EXPECT_EQ(MovingPoints(*detector, other), 0U);

  // The cluster may be one of the outputs.
  Cloud cluster = *block;
  Cloud still;
  detector->DivideCloud(cluster, cluster, still);
  EXPECT_EQ(cluster.size(), block->size());
  EXPECT_TRUE(still.empty());
}

TEST(DynamicCloudDetectorInputs, BadFramesReportNoMotionAndDoNotSpoilTheHistory)
{
  struct Case
  {
    std::string name;
    std::function<void(DynamicCloudDetector&)> update;
  };
  const auto block = Block();
  auto pose_with = [](std::function<void(geometry_msgs::msg::Pose&)> change) {
      geometry_msgs::msg::Pose pose = Origin();
      change(pose);
      return pose;
    };
  const std::vector<Case> cases = {
    {"empty depth", [&](DynamicCloudDetector& d) {d.Update(block, cv::Mat(), Origin());}},
    {"16-bit depth", [&](DynamicCloudDetector& d) {
        d.Update(block, cv::Mat(kHeight, kWidth, CV_16UC1, cv::Scalar(1500)), Origin());
      }},
    {"three-channel depth", [&](DynamicCloudDetector& d) {
        d.Update(block, cv::Mat(kHeight, kWidth, CV_32FC3, cv::Scalar::all(1.5)), Origin());
      }},
    {"depth of another size", [&](DynamicCloudDetector& d) {
        d.Update(block, cv::Mat(kHeight, kWidth + 1, CV_32FC1, 1.5F), Origin());
      }},
    {"NaN position", [&](DynamicCloudDetector& d) {
        d.Update(block, cv::Mat(kHeight, kWidth, CV_32FC1, 1.5F),
                 pose_with([](auto& p) {p.position.x = kNaN;}));
      }},
    {"zero quaternion", [&](DynamicCloudDetector& d) {
        d.Update(block, cv::Mat(kHeight, kWidth, CV_32FC1, 1.5F),
                 pose_with([](auto& p) {p.orientation.w = 0.0;}));
      }},
    {"infinite quaternion", [&](DynamicCloudDetector& d) {
        d.Update(block, cv::Mat(kHeight, kWidth, CV_32FC1, 1.5F),
                 pose_with([](auto& p) {p.orientation.z = INFINITY;}));
      }},
    {"no cloud", [&](DynamicCloudDetector& d) {
        d.Update(nullptr, cv::Mat(kHeight, kWidth, CV_32FC1, 1.5F), Origin());
      }},
  };
  for (const Case& c : cases) {
    auto detector = DetectorThatSawTheBlockArrive();
    c.update(*detector);
    EXPECT_FALSE(detector->division_available_) << c.name;
    EXPECT_EQ(MovingPoints(*detector, *block), 0U) << c.name;
    // The wall frame is still remembered: the next good frame finds the block again.
    detector->Update(block, cv::Mat(kHeight, kWidth, CV_32FC1, 1.5F), Origin());
    EXPECT_EQ(MovingPoints(*detector, *block), block->size()) << c.name;
  }
}

TEST(DynamicCloudDetectorInputs, HolesAndNearerEarlierDepthsAreNoEvidence)
{
  struct Case
  {
    std::string name;
    float earlier_depth;
  };
  const std::vector<Case> cases = {
    {"hole", 0.0F}, {"NaN", kNaN}, {"negative", -3.0F}, {"occluded earlier", 1.0F},
    {"within the margin", 1.55F},
  };
  for (const Case& c : cases) {
    DynamicCloudDetector detector{YAML::Node()};
    ASSERT_TRUE(detector.Init(Eigen::Matrix4f::Identity(), Intrinsics(), kWidth, kHeight, 4.0F));
    detector.Update(std::make_shared<Cloud>(),
                    cv::Mat(kHeight, kWidth, CV_32FC1, c.earlier_depth), Origin());
    detector.Update(Block(), cv::Mat(kHeight, kWidth, CV_32FC1, 1.5F), Origin());
    EXPECT_FALSE(detector.division_available_) << c.name;
  }
}

TEST(DynamicCloudDetectorInputs, BadGeometryLeavesTheDetectorSilent)
{
  struct Case
  {
    std::string name;
    Eigen::Matrix4f base_to_cam;
    Eigen::Matrix3f intrinsics;
    int width;
    int height;
    float max_depth;
  };
  const Eigen::Matrix4f id = Eigen::Matrix4f::Identity();
  const Eigen::Matrix3f k = Intrinsics();
  Eigen::Matrix4f scaled = id;
  scaled(0, 0) = 2.0F;
  Eigen::Matrix4f nan_pose = id;
  nan_pose(1, 3) = kNaN;
  Eigen::Matrix3f zero_fx = k;
  zero_fx(0, 0) = 0.0F;
  Eigen::Matrix3f nan_k = k;
  nan_k(0, 2) = kNaN;
  const std::vector<Case> cases = {
    {"scaled rotation", scaled, k, kWidth, kHeight, 4.0F},
    {"NaN translation", nan_pose, k, kWidth, kHeight, 4.0F},
    {"fx of 0", id, zero_fx, kWidth, kHeight, 4.0F},
    {"NaN cx", id, nan_k, kWidth, kHeight, 4.0F},
    {"zero width", id, k, 0, kHeight, 4.0F},
    {"negative height", id, k, kWidth, -4, 4.0F},
    {"huge image", id, k, 1 << 20, 1 << 20, 4.0F},
    {"NaN maximum depth", id, k, kWidth, kHeight, kNaN},
    {"zero maximum depth", id, k, kWidth, kHeight, 0.0F},
  };
  for (const Case& c : cases) {
    DynamicCloudDetector detector{YAML::Node()};
    EXPECT_FALSE(detector.Init(c.base_to_cam, c.intrinsics, c.width, c.height, c.max_depth))
      << c.name;
    detector.Update(std::make_shared<Cloud>(), cv::Mat(kHeight, kWidth, CV_32FC1, 3.0F), Origin());
    detector.Update(Block(), cv::Mat(kHeight, kWidth, CV_32FC1, 1.5F), Origin());
    EXPECT_FALSE(detector.division_available_) << c.name;
  }
}

TEST(DynamicCloudDetectorSettings, SectionsParseOrNameTheBadKey)
{
  struct Case
  {
    std::string name;
    std::string yaml;
    std::string error_names;  // empty: parses
  };
  const std::vector<Case> cases = {
    {"null section", "~", ""},
    {"overrides", "{history_length: 3, depth_margin: 0.2, grow_distance: 0}", ""},
    {"text for an int", "{history_length: many}", "history_length"},
    {"fraction for an int", "{neighbourhood_px: 1.5}", "neighbourhood_px"},
    {"sequence for a float", "{voxel_size: [1, 2]}", "voxel_size"},
    {"zero voxel", "{voxel_size: 0}", "voxel_size"},
    {"NaN margin", "{depth_margin: .nan}", "depth_margin"},
    {"fraction above 1", "{min_moving_fraction_per_voxel: 1.5}", "min_moving_fraction_per_voxel"},
    {"more violations than frames", "{history_length: 2, min_violating_frames: 3}",
     "min_violating_frames"},
    {"misspelt key", "{histroy_length: 3}", "histroy_length"},
    {"not a mapping", "[1, 2]", "mapping"},
  };
  for (const Case& c : cases) {
    const YAML::Node node = YAML::Load(c.yaml);
    if (c.error_names.empty()) {
      EXPECT_NO_THROW(DynamicCloudDetector{node}) << c.name;
      continue;
    }
    try {
      DynamicCloudDetector detector{node};
      ADD_FAILURE() << c.name << ": no exception";
    } catch (const std::runtime_error& e) {
      EXPECT_NE(std::string(e.what()).find(c.error_names), std::string::npos)
        << c.name << ": " << e.what();
    }
  }
  const DynamicDetectorParams p = ParseDynamicDetectorParams(
    YAML::Load("{history_length: 3, depth_margin: 0.2}"));
  EXPECT_EQ(p.history_length, 3);
  EXPECT_FLOAT_EQ(p.depth_margin, 0.2F);
  EXPECT_FLOAT_EQ(p.voxel_size, DynamicDetectorParams{}.voxel_size);
}

TEST(DynamicCloudDetectorSettings, ShippedFileHasAValidSectionPerCamera)
{
  const YAML::Node file = YAML::LoadFile(
    std::string(QUORVANE_SOURCE_DIR) + "/config/default_params/dynamic_cloud_detector.yaml");
  for (const char* camera : {"camera_01", "camera_02"}) {
    ASSERT_TRUE(file[camera].IsMap()) << camera;
    EXPECT_NO_THROW(ParseDynamicDetectorParams(file[camera])) << camera;
  }
}

}  // namespace
