// Static, dynamic and stain split: the class sets in their order, the division
// by moving fraction, and the object lists of the moving records.
#include <algorithm>
#include <cmath>
#include <set>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "pelorin/perception/time_conversions.hpp"
#include "quorvane_object_detect/object_lists.hpp"
#include "quorvane_object_detect/obstacle_sort.hpp"
#include "semantic.pb.h"

namespace
{

using PointCloud = pcl::PointCloud<pcl::PointXYZ>;

// `moving` points at x = 1 (moving to the fake divider), then the still ones at x = -1.
CloudInfo record(int label, int moving, int still)
{
  CloudInfo r;
  r.label = label;
  r.bbox.x1 = label;
  for (int i = 0; i < moving + still; ++i) {
    r.cloud.push_back({i < moving ? 1.0F : -1.0F, 0.0F, 0.0F});
  }
  return r;
}

std::vector<std::pair<int, std::size_t>> labelsAndSizes(const std::vector<CloudInfo> & records)
{
  std::vector<std::pair<int, std::size_t>> out;
  for (const CloudInfo & r : records) {
    out.emplace_back(r.label, r.cloud.size());
    EXPECT_EQ(r.bbox.x1, r.label);  // a divided part keeps its record's box
  }
  return out;
}

TEST(StaticDynamicSplit, DivisionByMovingFraction)
{
  struct Case
  {
    std::size_t moving, total;
    Division division;
  };
  const std::vector<Case> cases{
    {8, 10, Division::kWholeDynamic}, {71, 100, Division::kWholeDynamic},
    {2, 10, Division::kWholeStatic}, {29, 100, Division::kWholeStatic},
    {5, 10, Division::kSplit}, {7, 10, Division::kSplit}, {3, 10, Division::kSplit},
    {0, 0, Division::kSplit}};
  for (const auto & c : cases) {
    EXPECT_EQ(divisionOf(c.moving, c.total), c.division) << c.moving << "/" << c.total;
  }
}

TEST(StaticDynamicSplit, FirstMatchingSetThenDivisionWhenAvailable)
{
  const int unlisted = 1;
  const std::set<int> dynamic{semantic::PERSON};
  const std::set<int> static_obstacle{semantic::PERSON, semantic::BASE};
  const std::set<int> stain{semantic::BASE, semantic::COFFEE};
  const std::vector<CloudInfo> records{
    record(semantic::PERSON, 0, 6), record(semantic::BASE, 6, 0), record(semantic::COFFEE, 6, 0),
    record(unlisted, 8, 2), record(unlisted, 2, 8), record(unlisted, 5, 5)};
  int divided = 0;
  const DivideCloud divide = [&divided](const PointCloud & cloud, PointCloud & moving,
      PointCloud & still) {
      ++divided;
      for (const auto & p : cloud) {
        (p.x > 0.0F ? moving : still).push_back(p);
      }
    };
  using Sizes = std::vector<std::pair<int, std::size_t>>;

  const SortedRecords sorted = pointCloudPostcress(records, {dynamic, static_obstacle, stain}, divide);
  EXPECT_EQ(divided, 3);
  EXPECT_EQ(
    labelsAndSizes(sorted.dynamic_records),
    (Sizes{{semantic::PERSON, 6}, {unlisted, 10}, {unlisted, 5}}));
  EXPECT_EQ(
    labelsAndSizes(sorted.static_records),
    (Sizes{{semantic::BASE, 6}, {unlisted, 10}, {unlisted, 5}}));
  EXPECT_EQ(labelsAndSizes(sorted.stain_records), (Sizes{{semantic::COFFEE, 6}}));

  const SortedRecords undivided =
    pointCloudPostcress(records, {dynamic, static_obstacle, stain}, DivideCloud());
  EXPECT_EQ(labelsAndSizes(undivided.dynamic_records), (Sizes{{semantic::PERSON, 6}}));
  EXPECT_EQ(
    labelsAndSizes(undivided.static_records),
    (Sizes{{semantic::BASE, 6}, {unlisted, 10}, {unlisted, 10}, {unlisted, 10}}));
}

TEST(StaticDynamicSplit, ObjectListsOfMovingRecords)
{
  // A person: four corners of a 1 x 2 m footprint and a point inside.
  CloudInfo person;
  person.label = semantic::PERSON;
  person.bbox.x1 = 10;
  person.bbox.y1 = 20;
  person.bbox.x2 = 30;
  person.bbox.y2 = 40;
  person.cloud.push_back({0.0F, 0.0F, 0.1F});
  person.cloud.push_back({1.0F, 0.0F, 0.2F});
  person.cloud.push_back({1.0F, 2.0F, 1.7F});
  person.cloud.push_back({0.0F, 2.0F, -0.1F});
  person.cloud.push_back({0.5F, 1.0F, 0.3F});
  CloudInfo four = record(semantic::BOTTLE, 4, 0);
  // Below the floor: height 0.  Not dense, with a NaN point left out of
  // centroid and outline.
  CloudInfo low = record(semantic::BOTTLE, 3, 2);
  for (auto & p : low.cloud) {
    p.z = -0.2F;
  }
  low.cloud.push_back({NAN, NAN, NAN});
  low.cloud.is_dense = false;

  const ObjectLists lists = objectLists({person, four, low}, 3, 12.5);
  for (const auto * list : {&lists.people, &lists.objects}) {
    EXPECT_EQ(list->header.frame_id, "base_footprint");
    EXPECT_EQ(list->header.stamp, DoubleToStamp(12.5));
    EXPECT_EQ(list->source, "camera_3_rgbd");
    EXPECT_EQ(list->source_type, 2);
  }
  ASSERT_EQ(lists.people.objects.size(), 1U);
  ASSERT_EQ(lists.objects.objects.size(), 2U);
  EXPECT_EQ(lists.people.objects[0], lists.objects.objects[0]);

  const auto & item = lists.objects.objects[0];
  EXPECT_FLOAT_EQ(item.pose.position.x, 0.5);
  EXPECT_FLOAT_EQ(item.pose.position.y, 1.0);
  EXPECT_EQ(item.pose.position.z, 0.0);
  EXPECT_EQ(item.pose.orientation.w, 1.0);
  std::vector<std::pair<float, float>> hull;
  for (const auto & p : item.polygon.points) {
    EXPECT_EQ(p.z, 0.0F);
    hull.emplace_back(p.x, p.y);
  }
  std::sort(hull.begin(), hull.end());
  EXPECT_EQ(hull, (std::vector<std::pair<float, float>>{{0, 0}, {0, 2}, {1, 0}, {1, 2}}));
  EXPECT_FLOAT_EQ(item.height, 1.7);
  EXPECT_EQ(item.pixel_bbox, (std::array<double, 4>{10, 20, 30, 40}));
  EXPECT_EQ(item.is_person, 1);
  EXPECT_TRUE(item.tags.empty());

  const auto & bottle = lists.objects.objects[1];
  EXPECT_EQ(bottle.is_person, 0);
  EXPECT_EQ(bottle.height, 0.0);
  EXPECT_FLOAT_EQ(bottle.pose.position.x, 0.2);  // (3 - 2) / 5 finite points
  for (const auto & p : bottle.polygon.points) {
    EXPECT_TRUE(std::isfinite(p.x) && std::isfinite(p.y));
  }
}

}  // namespace
