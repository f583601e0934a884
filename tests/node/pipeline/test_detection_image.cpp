// The detection image: label texts, where they start, and the drawing of
// rectangles, labels and class-coloured masks over the colour image.
#include <cstdlib>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>
#include <opencv2/core.hpp>

#include "quorvane_object_detect/detection_image.hpp"
#include "semantic.pb.h"

namespace
{

BboxInfo box(int class_id, float score, int x1, int y1, int x2, int y2, cv::Mat mask = {})
{
  return {x1, y1, x2, y2, mask, {}, score, class_id};
}

TEST(DetectionImage, LabelIsClassNameAndWholePercentTruncated)
{
  struct Case
  {
    int class_id;
    float score;
    std::string label;
  };
  for (const Case & c : std::vector<Case>{
      {semantic::PERSON, 0.876F, "PERSON_87"},
      {semantic::PERSON, 0.999F, "PERSON_99"},
      {semantic::PERSON, 1.0F, "PERSON_100"},
      {semantic::BOTTLE, 0.0F, "BOTTLE_0"},
      {semantic::PERSON, -0.123F, "PERSON_-12"},
      {-7, 0.5F, "_50"},
      // Scores no int percentage holds.
      {semantic::PERSON, std::numeric_limits<float>::quiet_NaN(), "PERSON_nan"},
      {semantic::PERSON, -std::numeric_limits<float>::quiet_NaN(), "PERSON_nan"},
      {semantic::PERSON, std::numeric_limits<float>::infinity(), "PERSON_2147483647"},
      {semantic::PERSON, -std::numeric_limits<float>::infinity(), "PERSON_-2147483648"},
      {semantic::PERSON, 3e7F, "PERSON_2147483647"},
      {semantic::PERSON, -3e7F, "PERSON_-2147483648"},
      {semantic::PERSON, std::numeric_limits<float>::max(), "PERSON_2147483647"}})
  {
    EXPECT_EQ(detectionLabel(box(c.class_id, c.score, 0, 0, 1, 1)), c.label) << c.score;
  }
}

TEST(DetectionImage, LabelStartsMidBoxOneTextHeightDownWithinTheRows)
{
  struct Case
  {
    int x1, y1, x2;
    cv::Point origin;
  };
  const cv::Size text(120, 20);
  for (const Case & c : std::vector<Case>{
      {10, 50, 21, {15, 70}},
      {-11, 50, 0, {-5, 70}},     // halved toward zero
      {10, -50, 20, {15, 0}},     // above the image: onto the top row
      {10, -20, 20, {15, 0}},
      {10, 390, 20, {15, 400}},   // past the bottom: onto the row count
      {10, 380, 20, {15, 400}}})
  {
    EXPECT_EQ(labelOrigin(box(300, 1.0F, c.x1, c.y1, c.x2, 0), text, 400), c.origin)
      << c.x1 << ", " << c.y1;
  }
}

TEST(DetectionImage, WithoutBoxesTheImageIsBlendedWithItselfSaturated)
{
  for (const auto & [grey, blended] : std::vector<std::pair<int, int>>{{0, 1}, {90, 118},
      {200, 255}})
  {
    const cv::Mat rgb(40, 60, CV_8UC3, cv::Scalar::all(grey));
    const cv::Mat drawn = detectionImage(rgb, {});
    EXPECT_EQ(cv::countNonZero(drawn.reshape(1) != blended), 0) << grey;
    EXPECT_EQ(rgb.at<cv::Vec3b>(0, 0)[0], grey) << "the colour image is left alone";
  }
}

// 0.5 x drawing + 0.8 x mask image + 1, per channel.
cv::Vec3b blend(cv::Vec3b drawn, cv::Vec3b masked)
{
  cv::Vec3b out;
  for (int c = 0; c < 3; ++c) {
    out[c] = cv::saturate_cast<uchar>(0.5 * drawn[c] + 0.8 * masked[c] + 1.0);
  }
  return out;
}

TEST(DetectionImage, DrawsRectangleLabelAndClassColouredMask)
{
  const cv::Vec3b grey(100, 100, 100);
  const cv::Mat rgb(200, 300, CV_8UC3, cv::Scalar::all(100));
  cv::Mat mask = cv::Mat::zeros(rgb.size(), CV_8UC1);
  mask(cv::Rect(60, 100, 40, 40)).setTo(1);
  // The bottle has no mask: nothing of the image may take its colour.
  const cv::Mat drawn = detectionImage(rgb, {
      box(semantic::PERSON, 0.876F, 40, 60, 160, 150, mask),
      box(semantic::BOTTLE, 0.5F, 200, 20, 280, 60)});

  const auto at = [&](int row, int column) {return drawn.at<cv::Vec3b>(row, column);};
  const auto near = [](cv::Vec3b a, cv::Vec3b b) {
      return std::abs(a[0] - b[0]) <= 1 && std::abs(a[1] - b[1]) <= 1 && std::abs(a[2] - b[2]) <= 1;
    };
  const cv::Vec3b untouched = blend(grey, grey);
  const cv::Vec3b rectangle = blend({0, 0, 255}, grey);
  const cv::Vec3b text = blend({255, 0, 0}, grey);
  // Class 300 takes palette entry 0 (300 mod 20), in channel order.
  const cv::Vec3b person_mask = blend(grey, {255, 56, 56});

  EXPECT_EQ(at(190, 10), untouched);
  EXPECT_EQ(at(180, 250), untouched);
  for (const cv::Point edge : {cv::Point(40, 105), cv::Point(160, 105), cv::Point(100, 150),
      cv::Point(40, 150), cv::Point(200, 50), cv::Point(280, 50)})
  {
    EXPECT_TRUE(near(at(edge.y, edge.x), rectangle)) << edge << " " << at(edge.y, edge.x);
  }
  EXPECT_TRUE(near(at(120, 80), person_mask)) << at(120, 80);
  EXPECT_EQ(at(120, 110), untouched) << "inside the box, outside its mask";

  // The label's red text lies right of the box's middle, one text height
  // under its top, and nowhere else.
  int text_inside = 0;
  int text_outside = 0;
  const cv::Rect label_area(100, 60, 160, 25);
  const cv::Rect bottle_label_area(240, 20, 160, 25);
  for (int row = 0; row < drawn.rows; ++row) {
    for (int column = 0; column < drawn.cols; ++column) {
      if (!near(at(row, column), text)) {
        continue;
      }
      const cv::Point p(column, row);
      (label_area.contains(p) || bottle_label_area.contains(p) ? text_inside : text_outside)++;
    }
  }
  EXPECT_GT(text_inside, 100);
  EXPECT_EQ(text_outside, 0);
}

}  // namespace
