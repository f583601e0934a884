// An int8 network in the current export form (IR 9, opset 20, dynamically
// quantised), rewritten by tools/prepare_model.py, runs through YOLOv8Seg with
// boxes as exact as its float original: int8 rounding of the box-distance
// weights would move the edges by more than a pixel.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "pelorin/model/yolov8_seg.hpp"

namespace pm = pelorin::model;

namespace {

const std::string kModel = PELORIN_INT8_BOX_MODEL;

// The network's fixed box: edges these many 32-px strides from the anchor of
// the white cell (left, top, right, bottom).
constexpr double kStride = 32.0;
constexpr double kDistances[] = {2.0, 6.0, 13.0, 9.0};

}  // namespace

TEST(Int8ExportModel, PreparedNetworkGivesExactBoxesAndCellMasks) {
  if (kModel.empty()) {
    GTEST_SKIP() << "test model not generated (python3-onnx missing)";
  }
  YAML::Node meta;
  meta["model_name"] = "yolov8_seg";
  meta["model_file"] = kModel;
  meta["num_classes"] = 1;
  pm::YOLOv8Seg model(meta);

  for (const cv::Point cell : {cv::Point(4, 8), cv::Point(2, 6), cv::Point(6, 10)}) {
    SCOPED_TRACE(testing::Message() << "cell " << cell);
    const cv::Rect white(cell * int(kStride), cv::Size(int(kStride), int(kStride)));
    cv::Mat rgb(640, 640, CV_8UC3, cv::Scalar::all(0));
    rgb(white).setTo(cv::Scalar::all(255));
    std::vector<pm::ModelBoxInfo> out;
    model.Inference(rgb, out);
    ASSERT_EQ(out.size(), 1U);
    const pm::ModelBoxInfo& d = out[0];
    EXPECT_EQ(d.label, 0);
    EXPECT_GT(d.score, 0.99F);
    const double anchor_x = cell.x + 0.5;
    const double anchor_y = cell.y + 0.5;
    EXPECT_NEAR(d.x, (anchor_x - kDistances[0]) * kStride, 0.01);
    EXPECT_NEAR(d.y, (anchor_y - kDistances[1]) * kStride, 0.01);
    EXPECT_NEAR(d.x + d.w, (anchor_x + kDistances[2]) * kStride, 0.01);
    EXPECT_NEAR(d.y + d.h, (anchor_y + kDistances[3]) * kStride, 0.01);
    ASSERT_EQ(d.mask.size(), rgb.size());
    const int inside = cv::countNonZero(d.mask(white));
    EXPECT_GT(inside, 0.99 * white.area());  // upsampling rounds the corners
    EXPECT_EQ(cv::countNonZero(d.mask), inside);
  }
}
