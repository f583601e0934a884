// Box split: which list a box goes to, the stride and list of its record, the
// escalator erosion and the largest cluster a record keeps.
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <opencv2/core.hpp>

#include "quorvane_object_detect/box_split.hpp"
#include "semantic.pb.h"

namespace
{

using semantic::BASE;
using semantic::BOTTLE;
using semantic::CARPET;
using semantic::COFFEE;
using semantic::ESCALATOR_ENTRANCE;
using semantic::PERSON;

const std::set<int> kNoRemoveGround{
  BASE, semantic::BLOOD, CARPET, semantic::MASK, BOTTLE, semantic::PAPER_CUP};
const std::set<int> kDangerous{ESCALATOR_ENTRANCE};

BboxInfo box(int class_id, int x1 = 0, int x2 = 20, cv::Mat mask = cv::Mat())
{
  BboxInfo b;
  b.class_id = class_id;
  b.x1 = x1;
  b.x2 = x2;
  b.y2 = 20;
  b.mask = mask;
  return b;
}

std::vector<int> classesOf(const AiDetectResult & result)
{
  std::vector<int> classes;
  for (const BboxInfo & b : result.bboxs_info) {
    classes.push_back(b.class_id);
  }
  return classes;
}

std::size_t occurrences(const std::string & text, const std::string & line)
{
  std::size_t count = 0;
  for (auto at = text.find(line); at != std::string::npos; at = text.find(line, at + 1)) {
    ++count;
  }
  return count;
}

TEST(BoxSplit, ListsByClassAndColourPairing)
{
  struct Case
  {
    const char * name;
    std::vector<int> boxes;
    bool rgb_mismatch;
    std::vector<int> ground_plane, per_box;
  };
  const std::vector<Case> cases{
    {"bottle and person", {BOTTLE, PERSON}, false, {PERSON}, {BOTTLE}},
    {"order kept", {PERSON, ESCALATOR_ENTRANCE, COFFEE, BASE}, false, {PERSON, COFFEE},
      {ESCALATOR_ENTRANCE, BASE}},
    {"far colour image", {BOTTLE, ESCALATOR_ENTRANCE, PERSON, ESCALATOR_ENTRANCE}, true, {},
      {ESCALATOR_ENTRANCE, ESCALATOR_ENTRANCE}},
  };
  for (const auto & c : cases) {
    AiDetectResult detection{cv::Mat(4, 4, CV_8UC3, cv::Scalar::all(7)), {}, 12.5};
    for (int class_id : c.boxes) {
      detection.bboxs_info.push_back(box(class_id));
    }
    AiDetectResult ground_plane, per_box;
    splitBoxList(
      detection, c.rgb_mismatch, {kNoRemoveGround, kDangerous}, ground_plane, per_box);
    EXPECT_EQ(classesOf(ground_plane), c.ground_plane) << c.name;
    EXPECT_EQ(classesOf(per_box), c.per_box) << c.name;
    for (const AiDetectResult * list : {&ground_plane, &per_box}) {
      EXPECT_EQ(list->image.data, detection.image.data) << c.name;
      EXPECT_EQ(list->stamp, 12.5) << c.name;
    }
  }
}

TEST(BoxSplit, StrideAndListOfARecordByClass)
{
  // CARPET is in both sets: the dangerous stride, yet the kept-ground list.
  const std::set<int> no_remove_ground{BOTTLE, CARPET};
  const std::set<int> dangerous{ESCALATOR_ENTRANCE, CARPET};
  struct Case
  {
    int label;
    int stride;
    int list;  // 0 kept-ground, 1 dangerous, -1 none
  };
  const std::vector<Case> cases{
    {BOTTLE, 2, 0}, {CARPET, 4, 0}, {ESCALATOR_ENTRANCE, 4, 1}, {PERSON, 2, -1}};
  for (const auto & c : cases) {
    const BoxClasses classes{no_remove_ground, dangerous};
    EXPECT_EQ(boxStride(c.label, classes, 2, 4), c.stride) << c.label;
    CloudInfo record;
    record.label = c.label;
    record.has_bbox = c.list != 0;  // the opposite of what filing must set
    std::vector<std::vector<CloudInfo>> lists(2);
    fileBoxRecord(record, classes, lists[0], lists[1]);
    for (int list = 0; list < 2; ++list) {
      ASSERT_EQ(lists[list].size(), list == c.list ? 1U : 0U) << c.label;
    }
    if (c.list >= 0) {
      EXPECT_EQ(lists[c.list][0].has_bbox, c.list == 0) << c.label;
    }
  }
}

TEST(BoxSplit, EscalatorMaskErodesAlongRowsOnACopyOfWideBoxesOnly)
{
  struct Case
  {
    int width, k;
    bool eroded;
  };
  const std::vector<Case> cases{{10, 5, false}, {11, 5, true}, {3, 1, true}, {2, 1, false}};
  for (const auto & c : cases) {
    const int x1 = 100;
    cv::Mat mask = cv::Mat::zeros(400, 640, CV_8UC1);
    mask(cv::Rect(x1, 10, c.width, 10)).setTo(255);
    const cv::Mat original = mask.clone();
    AiDetectResult detection{cv::Mat(), {box(ESCALATOR_ENTRANCE, x1, x1 + c.width, mask)}, 0.0};
    AiDetectResult ground_plane, per_box;
    splitBoxList(detection, false, {kNoRemoveGround, kDangerous}, ground_plane, per_box);
    BboxInfo & escalator = per_box.bboxs_info.at(0);

    testing::internal::CaptureStdout();
    EXPECT_EQ(erodeDangerousMask(escalator, c.k, 3), c.eroded) << c.width << " " << c.k;
    const std::string log = testing::internal::GetCapturedStdout();

    EXPECT_EQ(occurrences(log, "cam_3 : dangerous region erode success"), c.eroded ? 1U : 0U)
      << log;
    // The detection result's mask, which the trash thread reads, stays as it was.
    EXPECT_EQ(cv::countNonZero(detection.bboxs_info[0].mask != original), 0) << c.width;
    const int half = c.eroded ? c.k / 2 : 0;
    cv::Mat expected = cv::Mat::zeros(400, 640, CV_8UC1);
    expected(cv::Rect(x1 + half, 10, c.width - 2 * half, 10)).setTo(255);
    EXPECT_EQ(cv::countNonZero(escalator.mask != expected), 0) << c.width << " " << c.k;
  }
}

TEST(BoxSplit, RecordKeepsItsLargestCluster)
{
  const pelorin::perception::CloudCluster clustering({0.1F, 3, 2});
  CloudInfo two;
  // The smaller cluster comes first: the largest is not simply the first one.
  for (int i = 0; i < 300; ++i) {
    const float x = i < 100 ? 3.0F : 1.0F;
    two.cloud.push_back({x + 0.001F * (i % 50), 0.001F * (i % 7), 0.2F});
  }
  EXPECT_EQ(keepLargestCluster(two, clustering, 1), 2);
  ASSERT_EQ(two.cloud.size(), 200U);
  for (const auto & p : two.cloud) {
    EXPECT_LT(p.x, 2.0F);
  }

  // Points too sparse for a cluster: the record keeps them all.
  CloudInfo sparse;
  sparse.cloud.push_back({1.0F, 0.0F, 0.0F});
  sparse.cloud.push_back({2.0F, 0.0F, 0.0F});
  EXPECT_EQ(keepLargestCluster(sparse, clustering, 1), 0);
  EXPECT_EQ(sparse.cloud.size(), 2U);
}

}  // namespace
