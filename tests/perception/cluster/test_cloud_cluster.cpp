#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <map>
#include <numeric>
#include <random>
#include <stdexcept>
#include <utility>
#include <vector>

#include "pelorin/perception/cloud_cluster.hpp"

namespace {

using pelorin::perception::CloudCluster;
using pelorin::perception::CloudClusterPara;
using Cloud = pcl::PointCloud<pcl::PointXYZ>;
using Clusters = std::vector<Cloud>;

constexpr float kStep = 0.1f;

CloudClusterPara para(int kernel, int threshold = 2) { return {kStep, kernel, threshold}; }

// `count` points spread inside grid cell (column, row); z numbers the point
// so that tests can tell points apart.
void addCell(Cloud& cloud, int column, int row, int count) {
  for (int i = 0; i < count; ++i) {
    const float fraction = (i + 0.5f) / count;
    cloud.push_back({(column + 0.2f + 0.6f * fraction) * kStep, (row + 0.8f - 0.6f * fraction) * kStep,
                     static_cast<float>(cloud.size())});
  }
}

Clusters cluster(const CloudClusterPara& settings, const Cloud& cloud) {
  Clusters clusters;
  int count = -1;
  CloudCluster(settings).obstacleCluster(std::make_shared<Cloud>(cloud), count, clusters);
  EXPECT_EQ(count, static_cast<int>(clusters.size()));
  return clusters;
}

std::vector<std::size_t> sizes(const Clusters& clusters) {
  std::vector<std::size_t> result;
  for (const Cloud& c : clusters) {
    result.push_back(c.size());
  }
  return result;
}

TEST(CloudCluster, JoinsCellsWhoseWindowsOverlap) {
  struct Case {
    int kernel;
    int columns_apart;
    int rows_apart;
    bool joined;
  };
  const Case cases[] = {
      {3, 1, 0, true}, {3, 2, 0, true}, {3, 3, 0, false},  // one empty cell between joins, two do not
      {3, 2, 2, true}, {3, 2, -2, true}, {3, 0, -2, true}, {3, 3, 1, false}, {3, -3, 0, false},
      {1, 0, 1, false}, {1, 1, 1, false},  // a 1-cell window joins nothing
      {2, 1, 1, true}, {2, 2, 0, false}, {5, 4, -4, true}, {5, 5, 0, false},
  };
  for (const Case& c : cases) {
    Cloud cloud;
    addCell(cloud, 10, 20, 3);
    addCell(cloud, 10 + c.columns_apart, 20 + c.rows_apart, 3);
    const std::vector<std::size_t> expected = c.joined ? std::vector<std::size_t>{6} : std::vector<std::size_t>{3, 3};
    EXPECT_EQ(sizes(cluster(para(c.kernel), cloud)), expected)
        << "kernel " << c.kernel << ", apart " << c.columns_apart << ", " << c.rows_apart;
  }
}

TEST(CloudCluster, SeparateObjectsKeepAllTheirPoints) {
  // Four 3 x 2-cell objects, two empty cells apart in a row, at negative and
  // positive coordinates (cell numbers round down across zero).
  Cloud cloud;
  cloud.header.frame_id = "base_footprint";
  cloud.header.stamp = 123456;
  const int first_columns[] = {-12, -7, -2, 3};
  for (const int first : first_columns) {
    for (int column = first; column < first + 3; ++column) {
      for (int row = -1; row <= 0; ++row) {
        addCell(cloud, column, row, 4);
      }
    }
  }
  const Clusters clusters = cluster(para(3), cloud);
  ASSERT_EQ(clusters.size(), 4u);
  float next_z = 0.0f;
  for (std::size_t i = 0; i < clusters.size(); ++i) {
    ASSERT_EQ(clusters[i].size(), 24u);
    EXPECT_EQ(clusters[i].width, 24u);
    EXPECT_EQ(clusters[i].height, 1u);
    EXPECT_EQ(clusters[i].header.frame_id, "base_footprint");
    EXPECT_EQ(clusters[i].header.stamp, 123456u);
    for (const pcl::PointXYZ& p : clusters[i]) {
      EXPECT_EQ(p.z, next_z++) << "clusters and their points keep the input order";
      EXPECT_GE(p.x, first_columns[i] * kStep);
      EXPECT_LT(p.x, (first_columns[i] + 3) * kStep);
    }
  }
}

TEST(CloudCluster, SparseCellsAreNoise) {
  Cloud cloud;
  addCell(cloud, 0, 0, 2);    // exactly the threshold: kept
  addCell(cloud, 1, 0, 1);    // touching it, but alone in its cell: dropped
  addCell(cloud, 1, 1, 1);
  addCell(cloud, 40, 40, 1);  // isolated: dropped
  addCell(cloud, -40, 7, 1);
  EXPECT_EQ(sizes(cluster(para(3, 2), cloud)), (std::vector<std::size_t>{2}));
  EXPECT_EQ(sizes(cluster(para(3, 3), cloud)), std::vector<std::size_t>{});
  // A threshold below 1 counts every cell that holds a point.
  EXPECT_EQ(sizes(cluster(para(3, 0), cloud)), (std::vector<std::size_t>{4, 1, 1}));
}

TEST(CloudCluster, NullOrEmptyCloudGivesNoCluster) {
  CloudCluster clustering(para(3));
  for (const Cloud::ConstPtr& input : {Cloud::ConstPtr(std::make_shared<Cloud>()), Cloud::ConstPtr()}) {
    Clusters clusters(2);  // stale content from an earlier frame
    int count = 7;
    clustering.obstacleCluster(input, count, clusters);
    EXPECT_EQ(count, 0);
    EXPECT_TRUE(clusters.empty());
  }
}

TEST(CloudCluster, NonFiniteAndFarPointsAreSkipped) {
  constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
  constexpr float kInf = std::numeric_limits<float>::infinity();
  Cloud cloud;
  addCell(cloud, 0, 0, 3);
  for (const pcl::PointXYZ& bad : {pcl::PointXYZ{kNaN, 0.01f, 0.0f}, pcl::PointXYZ{0.01f, kNaN, 0.0f},
                                   pcl::PointXYZ{0.01f, 0.01f, kNaN}, pcl::PointXYZ{kInf, 0.0f, 0.0f},
                                   pcl::PointXYZ{0.0f, -kInf, 0.0f}, pcl::PointXYZ{kNaN, kNaN, kNaN}}) {
    cloud.push_back(bad);
    cloud.push_back(bad);
  }
  // Beyond the grid's index range: dropped, and no memory sized by the extent.
  cloud.push_back({1e30f, -1e30f, 0.0f});
  cloud.push_back({1e30f, -1e30f, 0.0f});
  cloud.push_back({-3e9f, 0.0f, 0.0f});
  cloud.push_back({-3e9f, 0.0f, 0.0f});
  // Far, but inside the range: a cluster of its own.
  cloud.push_back({1e7f, -1e7f, 0.0f});
  cloud.push_back({1e7f, -1e7f, 0.0f});
  cloud.is_dense = false;

  const Clusters clusters = cluster(para(3), cloud);
  ASSERT_EQ(sizes(clusters), (std::vector<std::size_t>{3, 2}));
  for (const Cloud& c : clusters) {
    EXPECT_TRUE(c.is_dense);
    for (const pcl::PointXYZ& p : c) {
      EXPECT_TRUE(std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z));
    }
  }
}

TEST(CloudCluster, RejectsUnusableSettings) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  for (const CloudClusterPara& bad : {CloudClusterPara{0.0f, 3, 2}, CloudClusterPara{-0.1f, 3, 2},
                                      CloudClusterPara{nan, 3, 2}, CloudClusterPara{inf, 3, 2},
                                      CloudClusterPara{0.1f, 0, 2}, CloudClusterPara{0.1f, -3, 2},
                                      CloudClusterPara{0.1f, CloudCluster::kMaxKernelSize + 1, 2}}) {
    EXPECT_THROW(CloudCluster{bad}, std::invalid_argument)
        << bad.grid_step << " " << bad.grid_kernelSize;
  }
  EXPECT_NO_THROW(CloudCluster(CloudClusterPara{0.1f, CloudCluster::kMaxKernelSize, -5}));
}

// Reference: every pair of occupied cells compared directly.  Labels are
// numbered by first point, as the clusters are.
std::vector<int> referenceLabels(const Cloud& cloud, const CloudClusterPara& settings) {
  std::map<std::pair<long, long>, std::vector<std::size_t>> cells;
  for (std::size_t i = 0; i < cloud.size(); ++i) {
    cells[{std::lround(std::floor(double(cloud[i].x) / settings.grid_step)),
           std::lround(std::floor(double(cloud[i].y) / settings.grid_step))}]
        .push_back(i);
  }
  std::vector<std::pair<long, long>> occupied;
  for (const auto& [cell, points] : cells) {
    if (static_cast<int>(points.size()) >= settings.grid_th) {
      occupied.push_back(cell);
    }
  }
  std::vector<std::size_t> group(occupied.size());
  std::iota(group.begin(), group.end(), 0);
  for (bool changed = true; changed;) {
    changed = false;
    for (std::size_t a = 0; a < occupied.size(); ++a) {
      for (std::size_t b = 0; b < occupied.size(); ++b) {
        const long apart = std::max(std::labs(occupied[a].first - occupied[b].first),
                                    std::labs(occupied[a].second - occupied[b].second));
        if (apart < settings.grid_kernelSize && group[b] < group[a]) {
          group[a] = group[b];
          changed = true;
        }
      }
    }
  }
  std::vector<std::size_t> group_of_point(cloud.size(), occupied.size());
  for (std::size_t c = 0; c < occupied.size(); ++c) {
    for (const std::size_t i : cells[occupied[c]]) {
      group_of_point[i] = group[c];
    }
  }
  std::vector<int> labels(cloud.size(), -1);
  std::map<std::size_t, int> label_of_group;
  for (std::size_t i = 0; i < cloud.size(); ++i) {
    if (group_of_point[i] < occupied.size()) {
      labels[i] = label_of_group.emplace(group_of_point[i], static_cast<int>(label_of_group.size())).first->second;
    }
  }
  return labels;
}

TEST(CloudCluster, MatchesPairwiseReferenceOnRandomClouds) {
  std::mt19937 random(7);
  std::uniform_real_distribution<float> coordinate(-1.5f, 1.5f);
  for (int round = 0; round < 20; ++round) {
    const CloudClusterPara settings{kStep, 1 + round % 4, 1 + round % 3};
    Cloud cloud;
    for (int i = 0; i < 400; ++i) {
      cloud.push_back({coordinate(random), coordinate(random), static_cast<float>(i)});
    }
    std::vector<int> found(cloud.size(), -1);
    const Clusters clusters = cluster(settings, cloud);
    for (std::size_t c = 0; c < clusters.size(); ++c) {
      for (const pcl::PointXYZ& p : clusters[c]) {
        EXPECT_EQ(found[static_cast<std::size_t>(p.z)], -1) << "a point in two clusters";
        found[static_cast<std::size_t>(p.z)] = static_cast<int>(c);
      }
    }
    EXPECT_EQ(found, referenceLabels(cloud, settings)) << "round " << round;
  }
}

}  // namespace
