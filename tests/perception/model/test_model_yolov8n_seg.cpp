// The real YOLOv8n-seg layer structure (random weights), exported by PyTorch
// and rewritten by tools/prepare_model.py, runs through YOLOv8Seg on OpenCV.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "pelorin/model/yolov8_seg.hpp"

namespace pm = pelorin::model;

namespace {

const std::string kModel = PELORIN_YOLOV8N_MODEL;

YAML::Node yolov8nMeta() {
  YAML::Node meta;
  meta["model_name"] = "yolov8_seg";
  meta["model_file"] = kModel;
  meta["num_classes"] = 80;
  return meta;
}

}  // namespace

TEST(Yolov8nSegModel, PreparedExportRunsWithYolov8SegShapes) {
  if (kModel.empty()) {
    GTEST_SKIP() << "python3-torch missing: YOLOv8n-seg not exported";
  }
  pm::YOLOv8Seg model(yolov8nMeta());
  cv::Mat rgb(400, 640, CV_8UC3);
  cv::randu(rgb, cv::Scalar::all(0), cv::Scalar::all(256));

  const auto prepared = model.preprocess(rgb);
  const auto outputs = model.forward(prepared.blob);
  EXPECT_EQ(pm::shapeText(outputs.head), "[1x116x8400]");
  EXPECT_EQ(pm::shapeText(outputs.prototypes), "[1x32x160x160]");

  // Random weights score every class near 0.5, so the full decode path works
  // through thousands of candidates; every record must still be well formed.
  std::vector<pm::ModelBoxInfo> out;
  model.Inference(rgb, out);
  ASSERT_FALSE(out.empty());
  EXPECT_LE(out.size(), 100U);
  const cv::Rect image(0, 0, rgb.cols, rgb.rows);
  for (const auto& d : out) {
    EXPECT_GE(d.label, 0);
    EXPECT_LT(d.label, 80);
    EXPECT_GE(d.score, 0.25F);
    EXPECT_LE(d.score, 1.0F);
    EXPECT_GE(d.x, 0.0F);
    EXPECT_GE(d.y, 0.0F);
    EXPECT_LE(d.x + d.w, 640.0F);
    EXPECT_LE(d.y + d.h, 400.0F);
    ASSERT_EQ(d.mask.size(), rgb.size());
    ASSERT_EQ(d.mask.type(), CV_8UC1);
    const cv::Rect box = cv::Rect(cv::Point(int(d.x), int(d.y)),
                                  cv::Point(int(std::ceil(d.x + d.w)), int(std::ceil(d.y + d.h)))) &
                         image;
    EXPECT_EQ(cv::countNonZero(d.mask), cv::countNonZero(d.mask(box)));
  }
  for (size_t i = 1; i < out.size(); ++i) {
    EXPECT_GE(out[i - 1].score, out[i].score);
  }
}
