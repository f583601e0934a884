// Our voxel grid against pcl::VoxelGrid itself: the same voxels in the same
// order, the same centroids, the same header, for one filter object that
// meets clouds of every kind one after another, as a camera's filter does.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <map>
#include <cstdlib>
#include <limits>
#include <new>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include <pcl/filters/voxel_grid.h>

#include "pelorin/perception/voxel_grid_filter.hpp"
#include "recorded_frames.hpp"
#include "scene/camera.hpp"
#include "scene/render.hpp"
#include "scene/stock_rooms.hpp"

namespace {

// Allocations made while `counting_allocations` is set.
std::size_t allocations = 0;
bool counting_allocations = false;

}  // namespace

void* operator new(std::size_t size) {
  if (counting_allocations) ++allocations;
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace {

using pelorin::perception::VoxelGridFilter;
using Cloud = pcl::PointCloud<pcl::PointXYZ>;

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

struct Settings {
  float leaf[3];
  unsigned min_points;
};

const std::vector<Settings> kSettings = {
    {{0.025f, 0.025f, 0.025f}, 5},  // the node's
    {{0.025f, 0.025f, 0.025f}, 0},
    {{0.025f, 0.025f, 0.025f}, 1},
    {{0.01f, 0.05f, 0.1f}, 1},
    {{0.2f, 0.2f, 0.2f}, 5},
};

Cloud withHeader(Cloud cloud) {
  cloud.header.frame_id = "camera_01_depth_optical_frame";
  cloud.header.stamp = 1234567;
  cloud.sensor_origin_ = Eigen::Vector4f(0.1f, 0.2f, 0.3f, 1.0f);
  return cloud;
}

Cloud uniform(int count, float spread, const pcl::PointXYZ& centre, uint32_t seed) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<float> offset(-spread / 2, spread / 2);
  Cloud cloud;
  for (int i = 0; i < count; ++i) {
    cloud.push_back({centre.x + offset(rng), centre.y + offset(rng), centre.z + offset(rng)});
  }
  return withHeader(cloud);
}

// An organized 100 x 50 cloud in which every `every`-th point has a NaN or an
// infinite coordinate.
Cloud withInvalidPoints(std::size_t every) {
  Cloud cloud = uniform(5000, 2.0f, {0.0f, 0.0f, 1.0f}, 7);
  const float invalid[] = {kNaN, kInf, -kInf};
  for (std::size_t i = 0; i < cloud.size(); i += every) {
    cloud.points[i].data[i / every % 3] = invalid[i / every / 3 % 3];
  }
  cloud.width = 100;
  cloud.height = 50;
  cloud.is_dense = false;
  return cloud;
}

// Points with a NaN or infinite coordinate beside finite ones far off: they
// are dropped whole and must not widen the grid past PCL's voxel limit.
Cloud invalidBesideFarCoordinates() {
  Cloud cloud = uniform(2000, 1.0f, {0.0f, 0.0f, 1.0f}, 4);
  cloud.push_back({kNaN, 1.0e9f, -1.0e9f});
  cloud.push_back({1.0e9f, kInf, 1.0e9f});
  cloud.push_back({-1.0e9f, -1.0e9f, -kInf});
  cloud.is_dense = false;
  return cloud;
}

// Points on voxel faces, i * leaf as float gives it, and one float step to
// either side: float rounding decides their voxel.
Cloud onFaces(const Settings& s) {
  Cloud cloud;
  for (int i = -6; i <= 6; ++i) {
    for (int j = -6; j <= 6; ++j) {
      for (int k = -6; k <= 6; ++k) {
        const float face[3] = {i * s.leaf[0], j * s.leaf[1], k * s.leaf[2]};
        for (const float towards : {-kInf, 0.0f, kInf}) {
          const auto near = [&](int a) { return towards == 0.0f ? face[a] : std::nextafter(face[a], towards); };
          cloud.push_back({near(0), near(1), near(2)});
        }
      }
    }
  }
  return withHeader(cloud);
}

// A box spanning `cells` x `cells` x 1 voxels by PCL's count, with a few
// points inside: 46340^2 voxels pass PCL's limit of INT32_MAX, 46341^2 do not.
Cloud spanning(const Settings& s, float cells) {
  Cloud cloud;
  for (float f : {0.0f, 0.25f, 0.5f, 1.0f}) {
    cloud.push_back({f * (cells - 0.5f) * s.leaf[0], f * (cells - 0.5f) * s.leaf[1], 0.0f});
  }
  return withHeader(cloud);
}

// Pairs of neighbouring floats 3.5e7 m along x: more than 2^24 voxels along
// one axis, where PCL's float arithmetic merges neighbouring voxels.
Cloud farAlongX() {
  Cloud cloud;
  for (int i = 0; i < 500; ++i) {
    const float x = -1.0e7f + i * 7.0e4f;
    cloud.push_back({x, 0.0f, 0.001f});
    cloud.push_back({std::nextafter(x, kInf), 0.001f, 0.0f});
  }
  return withHeader(cloud);
}

Cloud pclVoxelGrid(const Cloud& in, const Settings& s) {
  pcl::VoxelGrid<pcl::PointXYZ> grid;
  grid.setLeafSize(s.leaf[0], s.leaf[1], s.leaf[2]);
  grid.setMinimumPointsNumberPerVoxel(s.min_points);
  grid.setInputCloud(std::make_shared<Cloud>(in));
  Cloud out;
  grid.filter(out);
  return out;
}

// 1e-6, or two float steps where floats are coarser than that.
bool near(float ours, float pcl) {
  if (std::isnan(ours) || std::isnan(pcl)) return std::isnan(ours) && std::isnan(pcl);
  const float step = std::nextafter(std::fabs(pcl), kInf) - std::fabs(pcl);
  return std::fabs(ours - pcl) <= std::max(1e-6f, 2 * step);
}

void expectSame(const Cloud& ours, const Cloud& pcl) {
  EXPECT_EQ(ours.header.frame_id, pcl.header.frame_id);
  EXPECT_EQ(ours.header.stamp, pcl.header.stamp);
  EXPECT_EQ(ours.sensor_origin_, pcl.sensor_origin_);
  EXPECT_EQ(ours.width, pcl.width);
  EXPECT_EQ(ours.height, pcl.height);
  EXPECT_EQ(ours.is_dense, pcl.is_dense);
  ASSERT_EQ(ours.size(), pcl.size());
  for (std::size_t i = 0; i < pcl.size(); ++i) {
    const pcl::PointXYZ &a = ours[i], &b = pcl[i];
    ASSERT_TRUE(near(a.x, b.x) && near(a.y, b.y) && near(a.z, b.z))
        << "point " << i << ": (" << a.x << ", " << a.y << ", " << a.z << ") against (" << b.x << ", " << b.y
        << ", " << b.z << ")";
  }
}

using NamedClouds = std::vector<std::pair<std::string, Cloud>>;

NamedClouds ordinaryClouds(const Settings& s) {
  return {
      {"2 m camera-like", uniform(20000, 2.0f, {0.0f, 0.0f, 1.0f}, 1)},
      {"0.2 m dense", uniform(3000, 0.2f, {0.0f, 0.0f, 0.5f}, 2)},
      {"empty", withHeader(Cloud())},
      {"5 m off the origin", uniform(5000, 5.0f, {-3.0f, 2.0f, -10.0f}, 3)},
      {"NaN and inf", withInvalidPoints(7)},
      {"only NaN and inf", withInvalidPoints(1)},
      {"NaN and inf beside far coordinates", invalidBesideFarCoordinates()},
      {"on voxel faces", onFaces(s)},
  };
}

// Boxes at PCL's voxel limit, and one where its float arithmetic merges voxels.
NamedClouds syntheticClouds(const Settings& s) {
  NamedClouds clouds = ordinaryClouds(s);
  clouds.emplace_back("46340^2 voxels", spanning(s, 46340.0f));
  clouds.emplace_back("46341^2 voxels", spanning(s, 46341.0f));
  clouds.emplace_back("3.5e7 m along x", farAlongX());
  return clouds;
}

// One filter takes every cloud in turn, into one output cloud and in place.
void expectSameAsPcl(const Settings& s, NamedClouds clouds) {
  VoxelGridFilter filter(s.leaf[0], s.leaf[1], s.leaf[2], s.min_points);
  Cloud out;
  for (auto& [name, cloud] : clouds) {
    SCOPED_TRACE(name + ", leaf " + std::to_string(s.leaf[0]) + " " + std::to_string(s.leaf[1]) + " " +
                 std::to_string(s.leaf[2]) + ", min points " + std::to_string(s.min_points));
    const Cloud expected = pclVoxelGrid(cloud, s);
    filter.filter(cloud, out);
    expectSame(out, expected);
    filter.filter(cloud, cloud);
    expectSame(cloud, expected);
  }
}

TEST(VoxelGridFilter, GivesWhatPclVoxelGridGives) {
  for (const Settings& s : kSettings) expectSameAsPcl(s, syntheticClouds(s));
}

TEST(VoxelGridFilter, GivesWhatPclVoxelGridGivesOnRecordedFrames) {
  const std::string folder = recorded::dataFolder();
  if (folder.empty()) GTEST_SKIP() << "recorded RGB-D frames not found";
  NamedClouds clouds;
  for (const recorded::DepthFrame& frame : recorded::listFrames(folder)) {
    // As the node makes them: stride 2, depths in (0, 2) m.
    clouds.emplace_back(frame.name, withHeader(recorded::loadCloud(frame, 2, 2.0f)));
    ASSERT_GT(clouds.back().second.size(), 1000u) << frame.name;
  }
  // The 2.5 cm leaves only: larger voxels hold so many points that PCL's
  // float sums stray from the centroid by more than 1e-6.
  for (std::size_t k = 0; k < 3; ++k) expectSameAsPcl(kSettings[k], clouds);
}

// Each centroid as the filter has always given it: the double sums of the
// voxel's finite points, taken in cloud order, over their count; voxels in
// PCL's order, by z, y and x cell.  Compared bit for bit.
Cloud doubleSumsInCloudOrder(const Cloud& in, const Settings& s) {
  struct Sum {
    double x = 0.0, y = 0.0, z = 0.0;
    unsigned count = 0;
  };
  const auto cell = [&](float v, int axis) {
    return static_cast<std::int64_t>(std::floor(v * (1.0f / s.leaf[axis])));
  };
  std::map<std::array<std::int64_t, 3>, Sum> voxels;
  for (const pcl::PointXYZ& p : in) {
    if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z)) continue;
    Sum& sum = voxels[{cell(p.z, 2), cell(p.y, 1), cell(p.x, 0)}];
    sum.x += p.x, sum.y += p.y, sum.z += p.z, ++sum.count;
  }
  Cloud out;
  for (const auto& [key, sum] : voxels) {
    const double n = sum.count;
    if (sum.count >= s.min_points) {
      out.push_back({static_cast<float>(sum.x / n), static_cast<float>(sum.y / n), static_cast<float>(sum.z / n)});
    }
  }
  return out;
}

TEST(VoxelGridFilter, CentroidsAreDoubleSumsInCloudOrder) {
  NamedClouds clouds = ordinaryClouds(kSettings[0]);
  scene::Camera camera;
  camera.intrinsics = {640, 400, 600.0f, 610.0f, 320.0f, 240.0f};
  camera.base_from_optical = scene::mountPose(0.1f, 0.35f, 0.45f);
  camera.noise = scene::structuredLightNoise(7);
  const cv::Mat room = scene::render(scene::furnishedRoom(), camera).depth;
  for (const int stride : {1, 2}) {
    clouds.emplace_back("generated room, stride " + std::to_string(stride),
                        recorded::cloudOf(room, {600.0f, 610.0f, 320.0f, 240.0f}, stride, 4.0f));
  }
  const std::string folder = recorded::dataFolder();
  if (!folder.empty()) {
    for (const recorded::DepthFrame& frame : recorded::listFrames(folder)) {
      clouds.emplace_back(frame.name, recorded::loadCloud(frame, 2, 4.0f));
    }
  }
  for (const Settings& s : {kSettings[0], kSettings[3]}) {
    VoxelGridFilter filter(s.leaf[0], s.leaf[1], s.leaf[2], s.min_points);
    Cloud out;
    for (const auto& [name, cloud] : clouds) {
      SCOPED_TRACE(name + ", min points " + std::to_string(s.min_points));
      filter.filter(cloud, out);
      const Cloud expected = doubleSumsInCloudOrder(cloud, s);
      ASSERT_EQ(out.size(), expected.size());
      if (!out.empty()) {
        EXPECT_EQ(0, std::memcmp(out.points.data(), expected.points.data(), out.size() * sizeof(pcl::PointXYZ)));
      }
    }
  }
}

TEST(VoxelGridFilter, AllocatesNothingOnceFramesStopGrowing) {
  VoxelGridFilter filter(0.025f, 0.025f, 0.025f, 1);
  const Cloud large = uniform(20000, 2.0f, {0.0f, 0.0f, 1.0f}, 1);
  const Cloud small = uniform(5000, 0.5f, {0.0f, 0.0f, 1.0f}, 2);
  Cloud out;
  filter.filter(large, out);
  counting_allocations = true;
  filter.filter(small, out);
  filter.filter(large, out);
  counting_allocations = false;
  EXPECT_EQ(allocations, 0u);
}

TEST(VoxelGridFilter, RefusesLeavesThatAreNotPositive) {
  const float leaves[][3] = {{0.0f, 0.1f, 0.1f}, {0.1f, -0.1f, 0.1f}, {0.1f, 0.1f, kNaN}};
  for (const auto& leaf : leaves) {
    EXPECT_THROW(VoxelGridFilter(leaf[0], leaf[1], leaf[2], 1), std::invalid_argument);
  }
}

}  // namespace
