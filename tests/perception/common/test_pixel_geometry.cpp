#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "pelorin/perception/pixel_geometry.hpp"

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

struct BoxCase {
  const char* what;
  float a[4];
  float b[4];
  bool inclusive;
  float iou;
};

TEST(BoxIou, KnownValues) {
  const BoxCase cases[] = {
      {"same box", {0, 0, 10, 10}, {0, 0, 10, 10}, false, 1.0f},
      {"half overlap", {0, 0, 10, 10}, {5, 0, 15, 10}, false, 50.0f / 150.0f},
      {"inside", {0, 0, 10, 10}, {2, 2, 7, 7}, false, 25.0f / 100.0f},
      {"touching edges", {0, 0, 10, 10}, {10, 0, 20, 10}, false, 0.0f},
      {"disjoint", {0, 0, 10, 10}, {30, 30, 40, 40}, false, 0.0f},
      {"touching, inclusive", {0, 0, 9, 9}, {9, 0, 18, 9}, true, 10.0f / 190.0f},
      {"single pixel, inclusive", {3, 3, 3, 3}, {3, 3, 3, 3}, true, 1.0f},
      {"single pixel, exclusive", {3, 3, 3, 3}, {3, 3, 3, 3}, false, 0.0f},
      {"swapped corners", {10, 10, 0, 0}, {0, 0, 10, 10}, false, 0.0f},
      {"NaN corner", {0, 0, kNaN, 10}, {0, 0, 10, 10}, false, 0.0f},
      {"infinite box", {-kInf, -kInf, kInf, kInf}, {0, 0, 10, 10}, false, 0.0f},
  };
  for (const BoxCase& c : cases) {
    const float forward = boxIou(c.a[0], c.a[1], c.a[2], c.a[3], c.b[0], c.b[1], c.b[2], c.b[3], c.inclusive);
    const float backward = boxIou(c.b[0], c.b[1], c.b[2], c.b[3], c.a[0], c.a[1], c.a[2], c.a[3], c.inclusive);
    EXPECT_NEAR(forward, c.iou, 1e-6f) << c.what;
    EXPECT_EQ(forward, backward) << c.what << ": the order of the boxes must not matter";
  }
}

cv::Mat maskWith(cv::Size size, const cv::Rect& set) {
  cv::Mat mask = cv::Mat::zeros(size, CV_8UC1);
  mask(set & cv::Rect(cv::Point(), size)).setTo(1);
  return mask;
}

TEST(MaskIou, OverlapForEachBase) {
  using namespace pelorin::perception;
  const cv::Size size(20, 10);
  const cv::Mat small = maskWith(size, {0, 0, 4, 5});  // 20 pixels
  const cv::Mat large = maskWith(size, {2, 0, 8, 5});  // 40 pixels, 10 shared
  EXPECT_FLOAT_EQ(maskIou(small, large, kOverlapOfFirst), 10.0f / 20.0f);
  EXPECT_FLOAT_EQ(maskIou(small, large, kOverlapOfSecond), 10.0f / 40.0f);
  EXPECT_FLOAT_EQ(maskIou(small, large, kOverlapOfUnion), 10.0f / 50.0f);
  EXPECT_FLOAT_EQ(maskIou(small, small, kOverlapOfUnion), 1.0f);
  EXPECT_EQ(maskIou(small, large, 7), 0.0f);
}

TEST(MaskIou, NoCommonPixelOrUnusableMasksGiveZero) {
  const cv::Size size(20, 10);
  const cv::Mat left = maskWith(size, {0, 0, 5, 10});
  const cv::Mat right = maskWith(size, {10, 0, 5, 10});
  const cv::Mat empty_mask = cv::Mat::zeros(size, CV_8UC1);
  const cv::Mat other_size = maskWith({21, 10}, {0, 0, 5, 10});
  cv::Mat wrong_type;
  left.convertTo(wrong_type, CV_32F);
  for (int base = 0; base <= 2; ++base) {
    EXPECT_EQ(maskIou(left, right, base), 0.0f);
    EXPECT_EQ(maskIou(left, empty_mask, base), 0.0f);
    EXPECT_EQ(maskIou(empty_mask, empty_mask, base), 0.0f);
    EXPECT_EQ(maskIou(left, other_size, base), 0.0f);
    EXPECT_EQ(maskIou(left, cv::Mat(), base), 0.0f);
    EXPECT_EQ(maskIou(left, wrong_type, base), 0.0f);
  }
}

TEST(MaskIou, WorksOnRegionsOfLargerImages) {
  // A mask can be a view into a larger image (rows not contiguous).
  cv::Mat big = cv::Mat::zeros(30, 30, CV_8UC1);
  big(cv::Rect(5, 5, 4, 4)).setTo(255);
  const cv::Mat view = big(cv::Rect(5, 5, 10, 10));
  const cv::Mat copy = view.clone();
  EXPECT_FLOAT_EQ(maskIou(view, copy, pelorin::perception::kOverlapOfUnion), 1.0f);
}

TEST(PixelMask, SetsPixelsInsideAndSkipsOthers) {
  cv::Mat mask = cv::Mat::zeros(4, 6, CV_8UC1);
  const std::vector<cv::Point> pixels = {{0, 0}, {5, 3}, {2, 1}, {6, 0}, {0, 4}, {-1, 2}, {2, -1}};
  pixelToMask(pixels, mask);
  EXPECT_EQ(cv::countNonZero(mask), 3);
  for (const cv::Point& inside : {cv::Point(0, 0), cv::Point(5, 3), cv::Point(2, 1)}) {
    EXPECT_TRUE(isPointInMask(mask, inside)) << inside;
  }
  for (const cv::Point& outside : {cv::Point(1, 0), cv::Point(6, 0), cv::Point(0, 4), cv::Point(-1, 2),
                                   cv::Point(2, -1), cv::Point(1 << 30, 1 << 30)}) {
    EXPECT_FALSE(isPointInMask(mask, outside)) << outside;
  }
}

TEST(PixelMask, UnusableMasksAreLeftAloneAndHoldNothing) {
  cv::Mat empty_mask;
  pixelToMask({{0, 0}}, empty_mask);
  EXPECT_TRUE(empty_mask.empty());
  EXPECT_FALSE(isPointInMask(empty_mask, {0, 0}));

  cv::Mat colour = cv::Mat::zeros(3, 3, CV_8UC3);
  pixelToMask({{1, 1}}, colour);
  EXPECT_EQ(cv::countNonZero(colour.reshape(1)), 0);
  colour.setTo(cv::Scalar::all(255));
  EXPECT_FALSE(isPointInMask(colour, {1, 1}));
}

TEST(Clamp, LimitsThenTruncates) {
  struct Case {
    float value;
    int low;
    int high;
    int expected;
  };
  const Case cases[] = {
      {5.7f, 0, 639, 5},   {-3.2f, 0, 639, 0},       {700.0f, 0, 639, 639},
      {639.9f, 0, 639, 639}, {-0.5f, -3, 3, 0},       {kNaN, 0, 639, 0},
      {kInf, 0, 639, 639},  {-kInf, 0, 639, 0},      {3e9f, 0, std::numeric_limits<int>::max(), std::numeric_limits<int>::max()},
      {2.0f, 0, -1, 0},     {-3e9f, std::numeric_limits<int>::min(), 0, std::numeric_limits<int>::min()},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(clamp(c.value, c.low, c.high), c.expected) << c.value << " in " << c.low << ".." << c.high;
  }
}

}  // namespace
