// The earlier depth a point is judged against, read where it is needed, is
// at every pixel what eroding the whole cleaned image gives, on a generated
// room, the recorded frames and an image of every kind of hole.
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

#include "recorded_frames.hpp"
#include "scene/camera.hpp"
#include "scene/render.hpp"
#include "scene/stock_rooms.hpp"
#include "window_min_depth.hpp"

namespace
{

using pelorin::perception::WindowMinDepth;

// The whole-image work the detector did every frame: holes, NaN, negative and
// infinite depths to 0, then a square erosion.
cv::Mat ErodedReference(const cv::Mat& depth, int radius)
{
  cv::Mat clean(depth.size(), CV_32FC1);
  for (int r = 0; r < depth.rows; ++r) {
    for (int c = 0; c < depth.cols; ++c) {
      const float d = depth.at<float>(r, c);
      clean.at<float>(r, c) = (std::isfinite(d) && d > 0.0F) ? d : 0.0F;
    }
  }
  if (radius <= 0) {
    return clean;
  }
  cv::Mat eroded;
  const int side = 2 * radius + 1;
  cv::erode(clean, eroded, cv::getStructuringElement(cv::MORPH_RECT, {side, side}));
  return eroded;
}

std::vector<std::pair<std::string, cv::Mat>> Images()
{
  scene::Camera camera;
  camera.noise = scene::structuredLightNoise(5);
  std::vector<std::pair<std::string, cv::Mat>> images{
    {"generated room", scene::render(scene::furnishedRoom(), camera).depth}};
  // Every kind of hole, at the borders and inside.
  cv::Mat holes(23, 31, CV_32FC1);
  cv::randu(holes, 0.5F, 4.0F);
  const float inf = std::numeric_limits<float>::infinity();
  const float kinds[] = {0.0F, -0.0F, -1.0F, std::nanf(""), inf, -inf};
  for (int i = 0; i < 24; ++i) {
    holes.at<float>((i * 7) % holes.rows, (i * 13) % holes.cols) = kinds[i % 6];
  }
  images.emplace_back("holes of every kind", holes);
  const std::string folder = recorded::dataFolder();
  if (!folder.empty()) {
    for (const recorded::DepthFrame& frame : recorded::listFrames(folder)) {
      images.emplace_back(frame.name, recorded::loadDepth(frame));
    }
  }
  return images;
}

TEST(WindowMinDepth, SameAsErodingTheCleanedImage)
{
  for (const auto& [name, depth] : Images()) {
    ASSERT_FALSE(depth.empty()) << name;
    for (const int radius : {-1, 0, 1, 2, 4}) {
      const cv::Mat expected = ErodedReference(depth, radius);
      int differing = 0;
      for (int r = 0; r < depth.rows; ++r) {
        for (int c = 0; c < depth.cols; ++c) {
          const float ours = WindowMinDepth(depth, r, c, radius);
          const float theirs = expected.at<float>(r, c);
          differing += std::memcmp(&ours, &theirs, sizeof(float)) != 0;
        }
      }
      EXPECT_EQ(differing, 0) << name << ", radius " << radius;
    }
  }
}

}  // namespace
