// Cluster labelling from detection masks and the merge of each detection's
// parts, on clusters whose pixels are chosen by hand.
#include <algorithm>
#include <cstddef>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <opencv2/core.hpp>

#include "quorvane_object_detect/cloud.hpp"

namespace
{

using PointCloud = pcl::PointCloud<pcl::PointXYZ>;
constexpr int32_t kPerson = 300;
constexpr int32_t kBottle = 401;
constexpr int32_t kPaperCup = 402;

// Labelling: a 200 x 100 image where camera point (u, v, 1) lands on pixel
// (u, v); its base-frame partner is (u, v, 2).
constexpr int kWidth = 200;
constexpr int kHeight = 100;
const std::array<float, 4> kUnitIntrinsics{1.0F, 1.0F, 0.0F, 0.0F};

struct Cluster
{
  PointCloud camera;
  PointCloud base;

  void add(const pcl::PointXYZ & camera_point, float base_x)
  {
    camera.push_back(camera_point);
    base.push_back({base_x, camera_point.y, 2.0F});
  }
};

Cluster rowOfPixels(int first, int last, int row = 50)
{
  Cluster cluster;
  for (int u = first; u <= last; ++u) {
    cluster.add({static_cast<float>(u), static_cast<float>(row), 1.0F}, static_cast<float>(u));
  }
  return cluster;
}

// Set in columns [from, to) of every row; dilated in [from - 5, to + 5).
cv::Mat columns(int from, int to, cv::Size size = {kWidth, kHeight})
{
  cv::Mat mask = cv::Mat::zeros(size, CV_8UC1);
  mask.colRange(from, to).setTo(255);
  return mask;
}

cv::Mat dot(int column, int row)
{
  cv::Mat mask = cv::Mat::zeros(kHeight, kWidth, CV_8UC1);
  mask.at<uint8_t>(row, column) = 255;
  return mask;
}

BboxInfo detection(int32_t class_id, const cv::Mat & mask)
{
  BboxInfo box;
  box.class_id = class_id;
  box.mask = mask;
  return box;
}

// "label:lowest..highest base x/point count", base-frame points only.
std::string describe(const std::vector<CloudInfo> & records)
{
  std::ostringstream text;
  for (const CloudInfo & record : records) {
    float low = std::numeric_limits<float>::infinity();
    float high = -low;
    for (const pcl::PointXYZ & p : record.cloud) {
      EXPECT_EQ(p.z, 2.0F) << "not a base-frame point";
      low = std::min(low, p.x);
      high = std::max(high, p.x);
    }
    EXPECT_EQ(record.cloud.width, record.cloud.size());
    text << " " << record.label << ":" << low << ".." << high << "/" << record.cloud.size();
  }
  return text.str();
}

struct LabelCase
{
  const char * name;
  std::vector<BboxInfo> detections;
  Cluster cluster;
  float mask_iou_max;
  std::string expected;  // per detection "dI:" and its records, then "u:" and the unassigned
};

void expectLabels(const std::vector<LabelCase> & cases)
{
  for (const LabelCase & c : cases) {
    CloudPara para;
    para.mask_iou_max = c.mask_iou_max;
    const Cloud cloud(para, nullptr, nullptr);
    AiDetectResult detections;
    detections.bboxs_info = c.detections;
    std::vector<bool> used(c.detections.size(), false);
    std::vector<std::vector<CloudInfo>> assigned(c.detections.size());
    std::vector<CloudInfo> unassigned;
    cloud.cloudAssginLabel(
      detections, used, c.cluster.camera, c.cluster.base, kUnitIntrinsics, kWidth, kHeight,
      assigned, unassigned);
    std::string result;
    for (std::size_t i = 0; i < assigned.size(); ++i) {
      result += "d" + std::to_string(i) + ":" + describe(assigned[i]) + " ";
    }
    EXPECT_EQ(result + "u:" + describe(unassigned), c.expected) << c.name;
  }
}

TEST(CloudAssginLabel, MatchSplitWholeClusterAndRecursion)
{
  // The row cluster covers columns 50..149; dilated, columns(0, t) covers t - 45 of them and
  // columns(f, kWidth) 155 - f.
  const Cluster row = rowOfPixels(50, 149);
  Cluster corners;  // the first two lie off the image: clamped onto pixels (0, 0) and (199, 99)
  corners.add({-30.0F, -10.0F, 1.0F}, -30.0F);
  corners.add({500.0F, 300.0F, 1.0F}, 500.0F);
  corners.add({198.0F, 98.0F, 1.0F}, 198.0F);
  expectLabels({
    {"iou 0.5 is no match", {detection(kBottle, columns(105, kWidth))}, row, 0.5F,
      "d0: u: 1:50..149/100"},
    {"iou 0.51 matches, the unmatched rest stays label 1",
      {detection(kBottle, columns(104, kWidth))}, row, 0.5F, "d0: 401:99..149/51 u: 1:50..98/49"},
    {"a person at iou 0.6 is taken whole", {detection(kPerson, columns(0, 105)),
      detection(kBottle, columns(0, 200))}, row, 0.5F, "d0: 300:50..149/100 d1: u:"},
    {"an obstacle at iou 0.6 is split, the next passing detection takes the rest",
      {detection(kBottle, columns(0, 105)), detection(kPaperCup, columns(0, 200))}, row, 0.5F,
      "d0: 401:50..109/60 d1: 402:110..149/40 u:"},
    {"of two passing detections the lower index wins", {detection(kPaperCup, columns(0, 200)),
      detection(kBottle, columns(0, 105))}, row, 0.5F, "d0: 402:50..149/100 d1: u:"},
    {"no detections", {}, row, 0.5F, "u: 1:50..149/100"},
    {"a mask pixel 5 rows off counts after dilation", {detection(kBottle, dot(100, 55))}, row,
      0.1F, "d0: 401:95..105/11 u: 1:50..149/89"},
    {"6 rows off it does not", {detection(kBottle, dot(100, 56))}, row, 0.1F,
      "d0: u: 1:50..149/100"},
    {"pixels are clamped onto the border", {detection(kBottle, dot(197, 97)),
      detection(kPaperCup, dot(2, 2))}, corners, 0.4F, "d0: 401:198..500/2 d1: 402:-30..-30/1 u:"},
  });
}

TEST(CloudAssginLabel, PointsWithoutPixelOddMasksAndNegativeThreshold)
{
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  // Bad points among good ones must not shift which base point pairs with which pixel.
  Cluster mixed = rowOfPixels(50, 149);
  Cluster only_bad;
  for (const pcl::PointXYZ & bad : {pcl::PointXYZ{0.0F, 0.0F, 0.0F}, {nan, 50.0F, 1.0F},
      {60.0F, inf, 1.0F}})
  {
    only_bad.add(bad, -1000.0F);
  }
  for (std::size_t k = 0; k < only_bad.camera.size(); ++k) {
    const auto at = static_cast<std::ptrdiff_t>(30 * k);
    mixed.camera.insert(mixed.camera.begin() + at, only_bad.camera[k]);
    mixed.base.insert(mixed.base.begin() + at, only_bad.base[k]);
  }
  cv::Mat beyond_image = cv::Mat::zeros(150, 300, CV_8UC1);
  beyond_image.colRange(200, 300).setTo(255);
  expectLabels({
    {"points without a pixel leave both clusters", {detection(kBottle, columns(0, 105))}, mixed,
      0.5F, "d0: 401:50..109/60 u: 1:110..149/40"},
    {"a cluster of such points leaves no record", {detection(kBottle, columns(0, 105))},
      only_bad, 0.5F, "d0: u:"},
    {"a negative threshold hands each point on once", {detection(kBottle, columns(0, 20)),
      detection(kBottle, cv::Mat())}, rowOfPixels(50, 149), -1.0F, "d0: d1: u: 1:50..149/100"},
    {"a narrower mask is unset past its own columns",
      {detection(kBottle, columns(0, 60, {60, kHeight}))}, rowOfPixels(50, 149), 0.1F,
      "d0: 401:50..64/15 u: 1:65..149/85"},
    {"a wider mask is unset past the image", {detection(kBottle, beyond_image)},
      rowOfPixels(190, 199), 0.1F, "d0: u: 1:190..199/10"},
    {"an empty mask is unset", {detection(kBottle, cv::Mat())}, rowOfPixels(50, 149), 0.1F,
      "d0: u: 1:50..149/100"},
  });
}

// Split: base point (x, y, 0) is (x, y, 1) in the camera frame and lands on
// pixel (100 x, 100 y) of a 64 x 48 image.  The bottle's dilated mask covers
// columns 0..44, the person's 51..63.
PointCloud pointsAt(float x, int count, float y = 0.0F)
{
  PointCloud cloud;
  for (int k = 0; k < count; ++k) {
    cloud.push_back({x, y, 0.0F});
  }
  return cloud;
}

std::vector<std::string> split(const std::vector<PointCloud> & clusters)
{
  Eigen::Matrix4f base_to_cam = Eigen::Matrix4f::Identity();
  base_to_cam(2, 3) = 1.0F;
  cv::Mat bottle = cv::Mat::zeros(48, 64, CV_8UC1);
  bottle.colRange(0, 40).setTo(255);
  cv::Mat person = cv::Mat::zeros(48, 64, CV_8UC1);
  person.colRange(56, 64).setTo(255);
  AiDetectResult detections;
  detections.bboxs_info = {detection(kBottle, bottle), detection(kPerson, person)};
  CloudInfo earlier;
  earlier.label = 600;
  earlier.bbox.class_id = 600;
  earlier.has_bbox = true;
  earlier.cloud = pointsAt(9.0F, 1);
  std::vector<CloudInfo> out{earlier};
  const Cloud cloud(CloudPara{}, nullptr, nullptr);
  cloud.cloudDynamicStaticSplit(
    clusters, detections, {100.0F, 100.0F, 0.0F, 0.0F}, base_to_cam, 64, 48, out);
  std::vector<std::string> records;
  for (const CloudInfo & record : out) {
    std::ostringstream text;
    text << record.label << (record.has_bbox ? " box " : " - ") << record.cloud.size() << " @" <<
      record.cloud.front().x;
    EXPECT_EQ(record.bbox.class_id, record.label);
    EXPECT_EQ(record.cloud.front().z, 0.0F) << "not a base-frame point";
    records.push_back(text.str());
  }
  return records;
}

TEST(CloudDynamicStaticSplit, MergeAndOrder)
{
  PointCloud no_width = pointsAt(0.0F, 3);
  no_width.width = 0;
  struct Case
  {
    const char * name;
    std::vector<PointCloud> clusters;
    std::vector<std::string> expected;
  };
  const std::vector<Case> cases{
    {"0.25 apart in x merge, however far apart in y",
      {pointsAt(0.0F, 4), pointsAt(0.25F, 2, 0.4F)}, {"600 box 1 @9", "401 box 6 @0"}},
    {"0.3 apart they do not", {pointsAt(0.0F, 4), pointsAt(0.3F, 2)},
      {"600 box 1 @9", "1 - 2 @0.3", "401 box 4 @0"}},
    {"of equal parts the first is main", {pointsAt(0.3F, 2), pointsAt(0.0F, 2)},
      {"600 box 1 @9", "1 - 2 @0", "401 box 2 @0.3"}},
    {"per detection in order, then the unassigned; empty clusters are skipped",
      {pointsAt(0.45F, 1), PointCloud(), pointsAt(0.6F, 1), no_width, pointsAt(0.0F, 4),
        pointsAt(0.3F, 2), pointsAt(0.5F, 1)},
      {"600 box 1 @9", "1 - 2 @0.3", "401 box 4 @0", "300 box 1 @0.6", "1 - 1 @0.45",
        "1 - 1 @0.5"}},
  };
  for (const Case & c : cases) {
    EXPECT_EQ(split(c.clusters), c.expected) << c.name;
  }
}

}  // namespace
