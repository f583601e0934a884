// The detection image and the colour-camera person list through the node:
// drawn only for frames with a colour image, listed only by camera 2, and
// placed with the floor table of camera 2's own image size.
#include <algorithm>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "pipeline_fixture.hpp"
#include "quorvane_object_detect/rgb_objects.hpp"
#include "quorvane_protocol/msg/object_list.hpp"

namespace node_test
{
namespace
{

using quorvane_protocol::msg::ObjectList;
using sensor_msgs::msg::Image;

class DetectionImageNode : public PipelineTest
{
};

TEST_F(DetectionImageNode, ColourFramesAreDrawnAndOnlyCameraTwoListsObjects)
{
  startNode({rclcpp::Parameter("close_ai_detect", true)}, 1000.0, defaultFeeds(2));
  Recorder<Image> image1(harness_->peer(), "/cam1_detect_bbox_image");
  Recorder<Image> image2(harness_->peer(), "/cam2_detect_bbox_image");
  Recorder<ObjectList> objects(harness_->peer(), "/objects_rgb");
  for (int number : {1, 2}) {
    depth(999.9, 1000, number);  // no colour image
    rgb(1000.0, number);
    depth(1000.0, 1000, number);
  }
  const bool delivered = image1.reaches(1) && image2.reaches(1) && objects.reaches(2);
  const auto texts = stopCapture();
  ASSERT_TRUE(delivered);
  EXPECT_TRUE(errorLines(texts).empty()) << ::testing::PrintToString(texts);

  for (const auto * images : {&image1, &image2}) {
    ASSERT_EQ(images->count(), 1U) << "only the frame with a colour image is drawn";
    const Image & drawn = *images->messages()[0];
    EXPECT_EQ(drawn.encoding, "rgb8");
    EXPECT_EQ(drawn.header.frame_id, "");
    EXPECT_EQ(stampOf(drawn.header.stamp), 0.0);
    ASSERT_EQ(drawn.data.size(), 640U * 400U * 3U);
    // The AI is closed: no boxes, grey 90 blended with itself.
    EXPECT_EQ(std::count(drawn.data.begin(), drawn.data.end(), 118), 640 * 400 * 3);
  }

  // Camera 1 has no publisher on the topic: both lists come from camera 2.
  ASSERT_EQ(objects.count(), 2U);
  const std::vector<double> stamps{999.9, 1000.0};
  for (std::size_t k = 0; k < 2; ++k) {
    const ObjectList & list = *objects.messages()[k];
    EXPECT_EQ(list.source, "camera_2_rgb");
    EXPECT_EQ(list.header.frame_id, "base_footprint");
    EXPECT_NEAR(stampOf(list.header.stamp), stamps[k], 1e-6);
    EXPECT_TRUE(list.objects.empty());
  }
}

TEST_F(DetectionImageNode, PersonStandsOnTheFloorPointOfItsCameraImageSize)
{
  // A level camera 0.6 m up with a 640 x 480 image: feet 2 m ahead fall
  // below row 400, past the end of a 640 x 400 table.
  scene::Camera mount;
  mount.intrinsics = {640, 480, 600.0F, 600.0F, 319.5F, 239.5F};
  mount.base_from_optical = scene::mountPose(0.1F, 0.6F, 0.0F);
  auto feeds = defaultFeeds(2);
  CameraFeed second = feedOf(mount);
  second.info_topic = feeds[1].info_topic;
  second.frame_id = feeds[1].frame_id;
  feeds[1] = second;
  startNode(
    {rclcpp::Parameter(
        "model_meta_file", std::string(QUORVANE_BINARY_DIR) + "/config/colour_patch_seg_meta.yaml")},
    1000.0, feeds);
  Recorder<ObjectList> objects(harness_->peer(), "/objects_rgb");

  // A red patch is a person to the model.
  auto image = makeImage("rgb8", 640, 480, 1000.0, 110);
  cv::Mat(480, 640, CV_8UC3, image.data.data(), image.step)(cv::Rect(300, 300, 60, 140))
  .setTo(cv::Scalar(255, 0, 0));
  publishRgb(image, 2);
  depth(wall(1000.0, 1000, 640, 480), 2);
  const bool delivered = objects.reaches(1);
  stopCapture();
  ASSERT_TRUE(delivered);

  const ObjectList & list = *objects.messages()[0];
  ASSERT_EQ(list.objects.size(), 1U);
  const auto & person = list.objects[0];
  EXPECT_EQ(person.is_person, 1);
  BboxInfo box;
  box.x1 = static_cast<int32_t>(person.pixel_bbox[0]);
  box.x2 = static_cast<int32_t>(person.pixel_bbox[2]);
  box.y2 = static_cast<int32_t>(person.pixel_bbox[3]);
  EXPECT_NEAR(box.y2, 440, 3);
  const auto table = groundTable(camera(2)->intrinsics(), camera(2)->camToBaseMatrix(), 640, 480);
  const Eigen::Vector3f foot = table.ground_points.col(
    footPixel(box, table).y * 640 + footPixel(box, table).x);
  EXPECT_EQ(person.pose.position.x, static_cast<double>(foot.x()));
  EXPECT_EQ(person.pose.position.y, static_cast<double>(foot.y()));
  EXPECT_EQ(person.pose.position.z, static_cast<double>(foot.z()));
  // 0.71 m below the camera, seen 200 rows under the image centre at f = 600.
  EXPECT_NEAR(person.pose.position.x, 0.1 + 0.71 * 600.0 / (box.y2 - 239.5), 1e-3);
}

}  // namespace
}  // namespace node_test
