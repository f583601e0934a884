// Ground removal and clustering on recorded RGB-D frames, in a base frame
// calibrated from the floor each frame shows.
#include <gtest/gtest.h>

#include <algorithm>
#include <iostream>

#include <pcl/common/transforms.h>
#include <pcl/filters/voxel_grid.h>

#include "floor_calibration.hpp"
#include "ground_settings.hpp"
#include "pelorin/perception/cloud_cluster.hpp"
#include "pelorin/perception/remove_ground_line_fit.hpp"
#include "recorded_frames.hpp"

namespace {

using pelorin::perception::RemoveGroundLineFit;
using Cloud = pcl::PointCloud<pcl::PointXYZ>;

constexpr float kMaxDepth = 4.0f;
constexpr float kLeaf = 0.025f;
constexpr float kNearFloor = 0.02f;

// A cluster a chair could make: a footprint of 0.25 to 1.2 m and at least
// 0.3 m of height.
bool chairSized(const Cloud& cluster) {
  if (cluster.size() < 30) return false;
  pcl::PointXYZ lo = cluster.points[0], hi = cluster.points[0];
  for (const pcl::PointXYZ& p : cluster.points) {
    lo.x = std::min(lo.x, p.x), lo.y = std::min(lo.y, p.y), lo.z = std::min(lo.z, p.z);
    hi.x = std::max(hi.x, p.x), hi.y = std::max(hi.y, p.y), hi.z = std::max(hi.z, p.z);
  }
  const float footprint = std::max(hi.x - lo.x, hi.y - lo.y);
  return footprint >= 0.25f && footprint <= 1.2f && hi.z - lo.z >= 0.3f;
}

class GroundRemovalRecorded : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = recorded::dataFolder();
    if (folder_.empty()) GTEST_SKIP() << "recorded RGB-D frames not found";
  }
  std::string folder_;
};

TEST_F(GroundRemovalRecorded, FloorIsGroundAndChairsFormClusters) {
  const std::vector<recorded::DepthFrame> frames = recorded::listFrames(folder_);
  ASSERT_FALSE(frames.empty());
  pelorin::perception::CloudCluster clustering(pelorin::perception::CloudClusterPara{0.05f, 3, 2});
  for (const recorded::DepthFrame& frame : frames) {
    SCOPED_TRACE(frame.name);
    const Cloud camera_cloud = recorded::loadCloud(frame, 2, kMaxDepth);
    ASSERT_GT(camera_cloud.size(), 10000u);
    const recorded::FloorCalibration floor = recorded::calibrateFloor(camera_cloud);
    ASSERT_TRUE(floor.found);
    EXPECT_GT(floor.camera_height, 0.3f);
    EXPECT_LT(floor.camera_height, 2.0f);

    Cloud::Ptr input(new Cloud(camera_cloud));
    Cloud sampled;
    pcl::VoxelGrid<pcl::PointXYZ> voxels;
    voxels.setInputCloud(input);
    voxels.setLeafSize(kLeaf, kLeaf, kLeaf);
    voxels.filter(sampled);
    Cloud::Ptr base(new Cloud);
    pcl::transformPointCloud(sampled, *base, floor.camera_to_base);

    scene::Camera mount = ground_test::groundCamera(floor.camera_height);
    mount.max_depth = kMaxDepth;
    RemoveGroundLineFit fitter(ground_test::groundParamsFor(mount));
    fitter.PreprocessCloud(base);
    std::vector<RemoveGroundLineFit::PointClass> classes;
    fitter.Classify(*base, classes);
    int near_floor = 0, near_floor_ground = 0;
    for (std::size_t i = 0; i < base->size(); ++i) {
      if (std::fabs(base->points[i].z) <= kNearFloor) {
        ++near_floor;
        near_floor_ground += classes[i] == RemoveGroundLineFit::PointClass::kGround;
      }
    }
    ASSERT_GT(near_floor, 500);
    const double floor_share = static_cast<double>(near_floor_ground) / near_floor;
    EXPECT_GE(floor_share, 0.95);

    Cloud::Ptr obstacle(new Cloud), ground(new Cloud);
    fitter.RemoveGround(base, obstacle, ground);
    int count = 0;
    std::vector<Cloud> clusters;
    clustering.obstacleCluster(obstacle, count, clusters);
    const auto chairs = std::count_if(clusters.begin(), clusters.end(), chairSized);
    if (frame.scene == "dining_room") {
      EXPECT_GE(chairs, 2);
    } else {
      EXPECT_GE(chairs, 1);
    }
    std::cout << frame.name << ": camera " << floor.camera_height << " m up, " << base->size()
              << " points, floor within 2 cm " << near_floor << " of which ground " << floor_share
              << ", obstacle " << obstacle->size() << ", clusters " << clusters.size()
              << ", chair-sized " << chairs << "\n";
  }
}

}  // namespace
