// Decoding of YOLOv8-seg outputs on hand-made tensors: no network involved.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "pelorin/model/letterbox.hpp"
#include "pelorin/model/yolov8_seg_decode.hpp"

namespace pm = pelorin::model;

namespace {

constexpr int kClasses = 2;
constexpr int kCoeffs = 2;
constexpr int kAnchors = 6;
constexpr int kInput = 64;
constexpr int kProto = 16;  // prototypes at a quarter of the input

struct Anchor {
  float cx, cy, w, h;
  std::vector<float> scores;  // per class
  std::vector<float> coeffs;
};

// Head [1, 4 + classes + coeffs, anchors], or its transpose; unlisted anchors are zero.
cv::Mat makeHead(const std::vector<Anchor>& anchors, bool anchors_first = false) {
  const int channels = 4 + kClasses + kCoeffs;
  const int sizes[] = {1, channels, kAnchors};
  cv::Mat head(3, sizes, CV_32F, cv::Scalar(0));
  cv::Mat plane(channels, kAnchors, CV_32F, head.ptr<float>());
  for (size_t a = 0; a < anchors.size(); ++a) {
    std::vector<float> values = {anchors[a].cx, anchors[a].cy, anchors[a].w, anchors[a].h};
    values.insert(values.end(), anchors[a].scores.begin(), anchors[a].scores.end());
    values.insert(values.end(), anchors[a].coeffs.begin(), anchors[a].coeffs.end());
    for (int c = 0; c < channels; ++c) {
      plane.at<float>(c, static_cast<int>(a)) = values[c];
    }
  }
  if (!anchors_first) {
    return head;
  }
  const int transposed_sizes[] = {1, kAnchors, channels};
  cv::Mat transposed(3, transposed_sizes, CV_32F);
  cv::Mat(plane.t()).copyTo(cv::Mat(kAnchors, channels, CV_32F, transposed.ptr<float>()));
  return transposed;
}

// Prototype 0 is +10 (inside) everywhere, prototype 1 is +10 on the left half only.
cv::Mat makePrototypes() {
  const int sizes[] = {1, kCoeffs, kProto, kProto};
  cv::Mat protos(4, sizes, CV_32F);
  cv::Mat p0(kProto, kProto, CV_32F, protos.ptr<float>(0, 0));
  cv::Mat p1(kProto, kProto, CV_32F, protos.ptr<float>(0, 1));
  p0.setTo(10.0F);
  p1.setTo(-10.0F);
  p1.colRange(0, kProto / 2).setTo(10.0F);
  return protos;
}

pm::LetterboxGeometry identityGeometry() {
  return pm::makeLetterboxGeometry({kInput, kInput}, {kInput, kInput});
}

std::vector<pm::ModelBoxInfo> decode(const std::vector<Anchor>& anchors,
                                     const pm::LetterboxGeometry& g = identityGeometry(),
                                     pm::DecodeParams params = {}) {
  return pm::decodeYolov8Seg(makeHead(anchors), makePrototypes(), g, params);
}

}  // namespace

TEST(ModelDecode, ClassWiseNmsMergesOverlapsOfOneClassOnly) {
  const std::vector<Anchor> anchors = {
      {20, 20, 20, 20, {0.9F, 0.0F}, {1, 0}},
      {21, 21, 20, 20, {0.8F, 0.1F}, {1, 0}},   // same class, IoU ~0.9: merged
      {21, 20, 20, 20, {0.1F, 0.7F}, {1, 0}},   // other class at the same place: kept
      {50, 50, 10, 10, {0.6F, 0.0F}, {1, 0}},   // same class, apart: kept
      {50, 50, 10, 10, {0.2F, 0.1F}, {1, 0}},   // below the score threshold
  };
  const auto out = decode(anchors);
  ASSERT_EQ(out.size(), 3U);
  EXPECT_FLOAT_EQ(out[0].score, 0.9F);  // best first
  EXPECT_EQ(out[0].label, 0);
  EXPECT_FLOAT_EQ(out[0].x, 10.0F);
  EXPECT_FLOAT_EQ(out[0].y, 10.0F);
  EXPECT_FLOAT_EQ(out[0].w, 20.0F);
  EXPECT_FLOAT_EQ(out[0].h, 20.0F);
  EXPECT_EQ(out[1].label, 1);
  EXPECT_FLOAT_EQ(out[1].score, 0.7F);
  EXPECT_EQ(out[2].label, 0);
  EXPECT_FLOAT_EQ(out[2].x, 45.0F);
}

TEST(ModelDecode, TransposedHeadGivesTheSameDetections) {
  const std::vector<Anchor> anchors = {
      {20, 20, 20, 20, {0.9F, 0.0F}, {1, 0}},
      {40, 30, 8, 12, {0.1F, 0.6F}, {0, 1}},
  };
  const auto g = identityGeometry();
  const auto channels_first = pm::decodeYolov8Seg(makeHead(anchors), makePrototypes(), g, {});
  const auto anchors_first = pm::decodeYolov8Seg(makeHead(anchors, true), makePrototypes(), g, {});
  ASSERT_EQ(channels_first.size(), 2U);
  ASSERT_EQ(anchors_first.size(), 2U);
  for (size_t i = 0; i < 2; ++i) {
    EXPECT_EQ(anchors_first[i].label, channels_first[i].label);
    EXPECT_FLOAT_EQ(anchors_first[i].x, channels_first[i].x);
    EXPECT_FLOAT_EQ(anchors_first[i].h, channels_first[i].h);
    EXPECT_EQ(cv::norm(anchors_first[i].mask, channels_first[i].mask, cv::NORM_L1), 0.0);
  }
}

TEST(ModelDecode, MasksAreFullImageCroppedToTheBoxAndFollowTheCoefficients) {
  const std::vector<Anchor> anchors = {
      {32, 32, 40, 20, {0.9F, 0.0F}, {1, 0}},  // prototype 0: the whole box
      {32, 32, 40, 20, {0.0F, 0.8F}, {0, 1}},  // prototype 1: left half of the image
  };
  const auto out = decode(anchors);
  ASSERT_EQ(out.size(), 2U);
  for (const auto& d : out) {
    ASSERT_EQ(d.mask.size(), cv::Size(kInput, kInput));
    ASSERT_EQ(d.mask.type(), CV_8UC1);
  }
  const cv::Rect box(12, 22, 40, 20);
  EXPECT_EQ(cv::countNonZero(out[0].mask), box.area());
  EXPECT_EQ(cv::countNonZero(out[0].mask(box)), box.area());
  // Left half of the box only: columns 12..31.
  EXPECT_EQ(cv::countNonZero(out[1].mask), 20 * 20);
  EXPECT_EQ(cv::countNonZero(out[1].mask(cv::Rect(12, 22, 20, 20))), 20 * 20);
}

TEST(ModelDecode, BoxesMapBackThroughTheLetterboxAndAreClipped) {
  // 128 x 64 image into 64 x 64: scale 0.5, 16 rows of padding on top.
  const auto g = pm::makeLetterboxGeometry({128, 64}, {kInput, kInput});
  ASSERT_EQ(g.pad, cv::Point(0, 16));
  const std::vector<Anchor> anchors = {
      {20, 30, 10, 8, {0.9F, 0.0F}, {1, 0}},    // inside
      {60, 20, 20, 16, {0.0F, 0.9F}, {1, 0}},   // over the right edge and the padding
      {30, 5, 10, 6, {0.8F, 0.0F}, {1, 0}},     // wholly in the top padding: dropped
  };
  const auto out = decode(anchors, g);
  ASSERT_EQ(out.size(), 2U);
  EXPECT_FLOAT_EQ(out[0].x, 30.0F);
  EXPECT_FLOAT_EQ(out[0].y, 20.0F);
  EXPECT_FLOAT_EQ(out[0].w, 20.0F);
  EXPECT_FLOAT_EQ(out[0].h, 16.0F);
  EXPECT_FLOAT_EQ(out[1].x, 100.0F);
  EXPECT_FLOAT_EQ(out[1].y, 0.0F);
  EXPECT_FLOAT_EQ(out[1].w, 28.0F);   // clipped at 128
  EXPECT_FLOAT_EQ(out[1].h, 24.0F);   // rows 0..24 after the padding is removed
  EXPECT_EQ(out[0].mask.size(), cv::Size(128, 64));
  EXPECT_EQ(cv::countNonZero(out[0].mask), 20 * 16);
}

TEST(ModelDecode, LimitsAndBadValues) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  const std::vector<Anchor> anchors = {
      {10, 10, 8, 8, {0.9F, 0.0F}, {1, 0}},
      {30, 30, 8, 8, {0.8F, 0.0F}, {1, 0}},
      {50, 50, 8, 8, {0.7F, 0.0F}, {1, 0}},
      {nan, 10, 8, 8, {0.99F, 0.0F}, {1, 0}},   // NaN box
      {10, 50, inf, 8, {0.99F, 0.0F}, {1, 0}},  // infinite size
      {30, 50, 8, 8, {nan, nan}, {1, 0}},       // NaN scores
  };
  EXPECT_EQ(decode(anchors).size(), 3U);
  pm::DecodeParams params;
  params.max_detections = 2;
  const auto limited = decode(anchors, identityGeometry(), params);
  ASSERT_EQ(limited.size(), 2U);
  EXPECT_FLOAT_EQ(limited[1].score, 0.8F);
}

TEST(ModelDecode, ShapesThatAreNoYolov8SegHeadRaiseNamingTheShapes) {
  const cv::Mat protos = makePrototypes();
  const cv::Mat head = makeHead({});
  const auto message = [](const cv::Mat& h, const cv::Mat& p, int classes) -> std::string {
    try {
      pm::resolveHeadLayout(h, p, classes);
    } catch (const std::runtime_error& e) {
      return e.what();
    }
    return "no exception";
  };
  const int flat_sizes[] = {kAnchors, 8};
  const int proto3_sizes[] = {1, kCoeffs, kProto};
  const int short_sizes[] = {1, 5, kAnchors};  // fewer channels than 4 + coeffs + 1
  EXPECT_NE(message(cv::Mat(2, flat_sizes, CV_32F), protos, 0).find("[6x8] and [1x2x16x16]"),
            std::string::npos);
  EXPECT_NE(message(head, cv::Mat(3, proto3_sizes, CV_32F), 0).find("[1x2x16]"), std::string::npos);
  EXPECT_NE(message(cv::Mat(3, short_sizes, CV_32F), protos, 0).find("[1x5x6]"), std::string::npos);
  EXPECT_NE(message(head, protos, 3).find("3 classes"), std::string::npos);
  EXPECT_EQ(message(head, protos, 2), "no exception");

  const auto layout = pm::resolveHeadLayout(makeHead({}, true), protos, 0);
  EXPECT_TRUE(layout.anchors_first);
  EXPECT_EQ(layout.num_classes, kClasses);
  EXPECT_EQ(layout.num_anchors, kAnchors);
}

TEST(ModelLetterbox, GeometryKeepsAspectAndCentres) {
  struct Case {
    cv::Size image, input, resized;
    cv::Point pad;
  };
  const Case cases[] = {
      {{640, 400}, {640, 640}, {640, 400}, {0, 120}},
      {{1280, 720}, {640, 640}, {640, 360}, {0, 140}},
      {{480, 640}, {640, 640}, {480, 640}, {80, 0}},
      {{1, 1000}, {320, 320}, {1, 320}, {159, 0}},  // never a zero-width image
  };
  for (const auto& c : cases) {
    const auto g = pm::makeLetterboxGeometry(c.image, c.input);
    EXPECT_EQ(g.resized, c.resized) << c.image;
    EXPECT_EQ(g.pad, c.pad) << c.image;
  }
  EXPECT_THROW(pm::makeLetterboxGeometry({0, 10}, {640, 640}), std::invalid_argument);
}
