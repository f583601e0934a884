// What the AI step keeps of the model's raw detections, and the depth units.
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "quorvane_object_detect/ai_detections.hpp"
#include "quorvane_object_detect/depth_image.hpp"

namespace
{

// The decisions are debug lines; the logger reads its level once.
class DebugLogging : public ::testing::Environment
{
public:
  void SetUp() override {setenv("SPDLOG_LEVEL", "debug", 1);}
};
const auto * const kDebugLogging = ::testing::AddGlobalTestEnvironment(new DebugLogging);

pelorin::model::ModelBoxInfo raw(float x, float y, float w, float h, int label, float score)
{
  pelorin::model::ModelBoxInfo box;
  box.x = x;
  box.y = y;
  box.w = w;
  box.h = h;
  box.label = label;
  box.score = score;
  return box;
}

TEST(AiDetections, ThresholdsClassesAndCorners)
{
  semantic::AiConfig config(YAML::Node(), YAML::Node(), nullptr);
  config.class_mapping = {300, 401};  // PERSON, BOTTLE
  config.confidence_threshold = {0.5, 0.25};
  const float nan = std::numeric_limits<float>::quiet_NaN();
  struct Case
  {
    pelorin::model::ModelBoxInfo box;
    bool kept;
    int32_t class_id, x1, y1, x2, y2;
  };
  const std::vector<Case> cases{
    {raw(10.9F, 20.2F, 5.5F, 3.9F, 0, 0.5F), true, 300, 10, 20, 16, 24},  // equal to its threshold
    {raw(10.0F, 20.0F, 5.0F, 5.0F, 0, 0.49F), false, 0, 0, 0, 0, 0},
    {raw(-0.5F, -3.0F, 4.0F, 4.0F, 1, 0.3F), true, 401, 0, 0, 3, 1},
    {raw(630.0F, 390.0F, 40.0F, 40.0F, 1, 0.3F), true, 401, 630, 390, 640, 400},  // clipped
    {raw(1.0F, 1.0F, 2.0F, 2.0F, 2, 0.0F), true, 0, 1, 1, 3, 3},  // past mapping and thresholds
    {raw(1.0F, 1.0F, 2.0F, 2.0F, -1, 0.9F), true, 0, 1, 1, 3, 3},  // negative label: unsigned
    {raw(1.0F, 1.0F, 2.0F, 2.0F, 2, -0.1F), false, 0, 0, 0, 0, 0},
    {raw(nan, 1.0F, nan, 2.0F, 0, nan), true, 300, 0, 1, 0, 3},  // NaN passes; corners stay inside
  };
  for (const auto & c : cases) {
    testing::internal::CaptureStdout();
    std::vector<BboxInfo> kept;
    keepConfidentDetections({c.box}, config, cv::Size(640, 400), 7, kept);
    const std::string log = testing::internal::GetCapturedStdout();
    ASSERT_EQ(kept.size(), c.kept ? 1U : 0U) << log;
    if (!c.kept) {
      EXPECT_NE(log.find("thus filtered"), std::string::npos) << log;
      continue;
    }
    EXPECT_EQ(kept[0].class_id, c.class_id);
    EXPECT_EQ(
      (std::vector<int32_t>{kept[0].x1, kept[0].y1, kept[0].x2, kept[0].y2}),
      (std::vector<int32_t>{c.x1, c.y1, c.x2, c.y2})) << log;
  }
  testing::internal::CaptureStdout();
  std::vector<BboxInfo> kept;
  keepConfidentDetections({raw(10.9F, 20.2F, 5.5F, 3.9F, 0, 0.5F)}, config, {640, 400}, 7, kept);
  EXPECT_NE(
    testing::internal::GetCapturedStdout().find(
      "cam_7 : class=PERSON, score=0.50, x1=10, y1=20, x2=16, y2=24"), std::string::npos);
}

TEST(DepthImage, MillimetreEncodingsAreScaled)
{
  for (const std::string encoding : {"16UC1", "mono16"}) {
    EXPECT_DOUBLE_EQ(depthScale(encoding), static_cast<double>(0.001F)) << encoding;
  }
  for (const std::string encoding : {"32FC1", "64FC1", "mono8"}) {
    EXPECT_DOUBLE_EQ(depthScale(encoding), 1.0) << encoding;
  }
  // A camera in metres keeps its values.
  auto msg = std::make_shared<sensor_msgs::msg::Image>();
  msg->encoding = "32FC1";
  msg->width = 1;
  msg->height = 1;
  msg->step = 4;
  const float metres = 1.5F;
  msg->data.resize(4);
  std::memcpy(msg->data.data(), &metres, 4);
  EXPECT_FLOAT_EQ(depthInMetres(msg).at<float>(0, 0), 1.5F);
}

}  // namespace
