// The AI step through the node with the colour-patch model, inline and on the
// AI thread: detections, skipped steps, and the thread's hand-over.
#include <cstring>
#include <string>
#include <vector>

#include "pipeline_fixture.hpp"

namespace node_test
{
namespace
{

struct Mode
{
  bool thread;
  bool close_ai;
};

class AiStep : public PipelineTest, public ::testing::WithParamInterface<Mode>
{
protected:
  void startWithModel()
  {
    startNode({
        rclcpp::Parameter(
          "model_meta_file",
          std::string(QUORVANE_BINARY_DIR) + "/config/colour_patch_seg_meta.yaml"),
        rclcpp::Parameter("use_ai_thread", GetParam().thread),
        rclcpp::Parameter("close_ai_detect", GetParam().close_ai)});
  }

  // A grey colour frame with a red patch (a person to the model).
  void personInView(double stamp)
  {
    auto image = makeImage("rgb8", 640, 400, stamp, 110);
    for (int row = 100; row < 220; ++row) {
      for (int column = 300; column < 380; ++column) {
        uint8_t * pixel = &image.data[row * image.step + column * 3];
        pixel[0] = 255;
        pixel[1] = 0;
        pixel[2] = 0;
      }
    }
    publishRgb(image);
  }
};

TEST_P(AiStep, DetectsColourImagesAndSkipsFramesWithoutOne)
{
  startWithModel();
  depth(999.9, 1000);  // no colour image yet: nothing posted, nothing awaited
  personInView(1000.0);
  depth(1000.0, 1000);
  const bool unawaited = GetParam().thread && GetParam().close_ai;
  if (unawaited) {
    // Nobody waits for this inference: the next post queues behind it.
    personInView(1000.1);
    depth(1000.1, 1000);
  }
  const auto texts = stopCapture();

  const bool inferred = !GetParam().close_ai || GetParam().thread;
  const auto detections = linesStarting(texts, "DEBUG cam_1 : class=PERSON, score=");
  ASSERT_GE(detections.size(), inferred ? 1U : 0U) << ::testing::PrintToString(texts);
  ASSERT_LE(detections.size(), inferred ? 1U + unawaited : 0U);
  if (inferred) {
    // The box lies on the patch within a few pixels.
    int x1, y1, x2, y2;
    ASSERT_EQ(
      std::sscanf(
        detections[0].c_str() + detections[0].find("x1="), "x1=%d, y1=%d, x2=%d, y2=%d", &x1,
        &y1, &x2, &y2), 4);
    EXPECT_NEAR(x1, 300, 3);
    EXPECT_NEAR(y1, 100, 3);
    EXPECT_NEAR(x2, 380, 3);
    EXPECT_NEAR(y2, 220, 3);
  }
  // Only the frame with a colour image reaches the model, once.
  EXPECT_EQ(
    linesStarting(texts, "DEBUG cam_1 ori detect bbox size = ").size(), detections.size());
  EXPECT_EQ(
    linesStarting(texts, "DEBUG cam_1 abandon or close run ai").size(),
    GetParam().close_ai ? 2U + unawaited : 1U);
  EXPECT_EQ(linesStarting(texts, "DEBUG use ai thread").size(),
    GetParam().thread && !GetParam().close_ai ? 1U : 0U);
}

INSTANTIATE_TEST_SUITE_P(
  InlineAndThread, AiStep,
  ::testing::Values(Mode{false, false}, Mode{true, false}, Mode{false, true}, Mode{true, true}),
  [](const ::testing::TestParamInfo<Mode> & info) {
    return std::string(info.param.thread ? "Thread" : "Inline") +
    (info.param.close_ai ? "Closed" : "Open");
  });

}  // namespace
}  // namespace node_test
