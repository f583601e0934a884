// Depth to cloud gives, bit for bit, the cloud of the plain per-pixel
// projection below, on a generated room and the recorded frames, for every
// encoding, stride, depth limit, region and mask the node meets; and image
// sides or strides near INT_MAX do not overflow its block arithmetic.
#include <algorithm>
#include <climits>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <opencv2/core.hpp>

#include "cv_bridge/cv_bridge.h"
#include "depth_to_cloud_inputs.hpp"
#include "quorvane_object_detect/cloud.hpp"
#include "quorvane_object_detect/depth_image.hpp"
#include "recorded_frames.hpp"
#include "scene/camera.hpp"
#include "scene/render.hpp"
#include "scene/stock_rooms.hpp"

namespace
{

using PointCloud = pcl::PointCloud<pcl::PointXYZ>;

// The projection as first written: every pixel scaled in double, every
// pixel of a block tested until one passes.
PointCloud referenceCloud(
  const cv::Mat & depth, double scale, const std::array<float, 4> & k, const BboxInfo & region,
  float depth_max, int stride)
{
  const int x1 = std::clamp(region.x1, 0, depth.cols);
  const int y1 = std::clamp(region.y1, 0, depth.rows);
  const int x2 = std::clamp(region.x2, 0, depth.cols);
  const int y2 = std::clamp(region.y2, 0, depth.rows);
  const cv::Mat & mask = region.mask;
  PointCloud cloud;
  for (int v0 = y1; v0 < y2; v0 += stride) {
    for (int u0 = x1; u0 < x2; u0 += stride) {
      bool found = false;
      for (int v = v0; v < std::min(v0 + stride, y2) && !found; ++v) {
        for (int u = u0; u < std::min(u0 + stride, x2) && !found; ++u) {
          const double raw = depth.type() == CV_16UC1 ?
            depth.at<uint16_t>(v, u) : depth.at<float>(v, u);
          const auto d = static_cast<float>(raw * scale);
          const bool masked = !mask.empty() &&
            !(v < mask.rows && u < mask.cols && mask.at<uint8_t>(v, u) != 0);
          if (d > 0.0F && d < depth_max && !masked) {
            cloud.push_back(pcl::PointXYZ(
                (static_cast<float>(u) - k[2]) * d / k[0], (static_cast<float>(v) - k[3]) * d / k[1],
                d));
            found = true;
          }
        }
      }
    }
  }
  return cloud;
}

struct DepthScene
{
  std::string name;
  cv::Mat metres;  // CV_32FC1
  std::array<float, 4> intrinsics;
};

std::vector<DepthScene> scenes()
{
  scene::Camera camera;
  camera.intrinsics = {640, 400, 600.0F, 610.0F, 320.0F, 240.0F};
  camera.base_from_optical = scene::mountPose(0.1F, 0.35F, 0.45F);
  camera.noise = scene::structuredLightNoise(7);
  std::vector<DepthScene> out{
    {"generated room", scene::render(scene::furnishedRoom(), camera).depth,
      {600.0F, 610.0F, 320.0F, 240.0F}}};
  const std::string folder = recorded::dataFolder();
  if (!folder.empty()) {
    for (const recorded::DepthFrame & frame : recorded::listFrames(folder)) {
      const recorded::Intrinsics & k = frame.intrinsics;
      out.push_back({frame.name, recorded::loadDepth(frame), {k.fx, k.fy, k.cx, k.cy}});
    }
  }
  return out;
}

void expectSameBits(const PointCloud & ours, const PointCloud & reference)
{
  ASSERT_EQ(ours.size(), reference.size());
  EXPECT_EQ(ours.width, ours.size());
  EXPECT_EQ(ours.height, 1U);
  if (!ours.empty()) {
    EXPECT_EQ(
      0, std::memcmp(ours.points.data(), reference.points.data(), ours.size() * sizeof(pcl::PointXYZ)));
  }
}

TEST(DepthToCloud, SameCloudAsPerPixelProjection)
{
  const std::vector<DepthScene> inputs = scenes();
  if (inputs.size() == 1) {
    std::printf("recorded RGB-D frames not found: generated room only\n");
  }
  std::mt19937 random(3);
  auto out = std::make_shared<PointCloud>();  // reused, as the node reuses its cloud
  for (const DepthScene & input : inputs) {
    ASSERT_FALSE(input.metres.empty()) << input.name;
    const cv::Mat millimetres = scene::millimetres(input.metres);
    // A detection mask of random bytes, smaller than the image.
    cv::Mat mask(input.metres.rows - 7, input.metres.cols - 5, CV_8UC1);
    cv::randu(mask, 0, 3);
    const int w = input.metres.cols;
    const int h = input.metres.rows;
    const std::vector<BboxInfo> regions{
      region(0, 0, w, h), region(37, 51, 333, 298, mask), region(-20, h - 30, w + 20, h + 40, mask),
      region(101, 7, 102, 300)};
    for (const int stride : {1, 2, 3, 7}) {
      for (const float depth_max : {0.45F, 2.0F, 4.0F, 70.0F}) {
        CloudPara para;
        para.depth_max = depth_max;
        const Cloud cloud(para, nullptr, nullptr);
        for (const BboxInfo & box : regions) {
          for (const bool in_mm : {true, false}) {
            const char * encoding = in_mm ? (random() % 2 ? "16UC1" : "mono16") : "32FC1";
            const cv::Mat & image = in_mm ? millimetres : input.metres;
            SCOPED_TRACE(
              input.name + " " + encoding + " stride " + std::to_string(stride) + " depth_max " +
              std::to_string(depth_max) + " region x " + std::to_string(box.x1) + ".." +
              std::to_string(box.x2));
            cloud.depthToCloud(message(image, encoding), input.intrinsics, box, out, stride);
            expectSameBits(
              *out,
              referenceCloud(image, depthScale(encoding), input.intrinsics, box, depth_max, stride));
          }
        }
      }
    }
  }
}

TEST(DepthToCloud, HugeSidesAndStridesDoNotOverflowTheBlocks)
{
  struct Case
  {
    const char * name;
    int width, height;
    BboxInfo box;
    int stride;
    std::size_t points;
  };
  constexpr int kMax = INT_MAX;
  const std::vector<Case> cases{
    {"0 x INT_MAX-1 image, whole", 0, kMax - 1, region(0, 0, kMax, kMax), 2, 0},
    {"0 x INT_MAX-1 image, tiny region", 0, kMax - 1, region(0, kMax - 3, 2, kMax - 1), 1, 0},
    {"INT_MAX-1 x 0 image, whole", kMax - 1, 0, region(0, 0, kMax, kMax), 3, 0},
    {"INT_MAX-1 x 0 image, far region", kMax - 1, 0, region(kMax - 9, 0, kMax, 5), kMax, 0},
    {"stride INT_MAX, one block", 12, 10, region(0, 0, kMax, kMax), kMax, 1},
    {"stride INT_MAX - 1 from the far corner", 12, 10, region(11, 9, kMax, kMax), kMax - 1, 1},
    {"region from INT_MIN", 12, 10, region(INT_MIN, INT_MIN, kMax, kMax), 5, 6},
  };
  const Cloud cloud(CloudPara{}, nullptr, nullptr);
  for (const Case & c : cases) {
    // Only the claimed side is huge: an image without pixels needs no data.
    auto msg = std::make_shared<sensor_msgs::msg::Image>();
    msg->encoding = "16UC1";
    msg->width = static_cast<uint32_t>(c.width);
    msg->height = static_cast<uint32_t>(c.height);
    msg->step = static_cast<uint32_t>(std::min<int64_t>(int64_t{c.width} * 2, UINT32_MAX));
    msg->data.assign(std::size_t{msg->step} * msg->height, 0);
    for (std::size_t i = 0; i + 1 < msg->data.size(); i += 2) {
      msg->data[i] = 0x2c;  // 300 mm, little-endian
      msg->data[i + 1] = 0x01;
    }
    auto out = std::make_shared<PointCloud>();
    cloud.depthToCloud(msg, {500.0F, 500.0F, 6.0F, 5.0F}, c.box, out, c.stride);
    EXPECT_EQ(out->size(), c.points) << c.name;
    EXPECT_EQ(out->width, out->size()) << c.name;
  }
}

}  // namespace
