#pragma once

#include <cstddef>
#include <functional>
#include <set>
#include <vector>

#include <pcl/point_cloud.h>
#include <pcl/point_types.h>

#include "quorvane_object_detect/cloud.hpp"

// The class sets that sort labelled clusters, in the order they are tried.
struct ObstacleClasses
{
  const std::set<int> & dynamic;
  const std::set<int> & static_obstacle;
  const std::set<int> & stain;
};

struct SortedRecords
{
  std::vector<CloudInfo> static_records;
  std::vector<CloudInfo> dynamic_records;
  std::vector<CloudInfo> stain_records;
};

// Splits a cluster into its moving and its still points.
using DivideCloud = std::function<void(
      const pcl::PointCloud<pcl::PointXYZ> &, pcl::PointCloud<pcl::PointXYZ> &,
      pcl::PointCloud<pcl::PointXYZ> &)>;

// What becomes of a divided record with `moving` of its `total` points moving.
enum class Division { kWholeDynamic, kWholeStatic, kSplit };
Division divisionOf(std::size_t moving, std::size_t total);

// Sorts every record by the first class set holding its label; a record in
// none is divided by `divide`, or is static when `divide` is empty (no
// division available this frame).
SortedRecords pointCloudPostcress(
  const std::vector<CloudInfo> & records, const ObstacleClasses & classes,
  const DivideCloud & divide);
