// The common header's palette and the process-wide camera-frame table.
#include <atomic>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "quorvane_object_detect/common.hpp"

namespace
{

TEST(Palette, LabelPicksEntryModulo20)
{
  ASSERT_EQ(kColorPalette20.size(), 20U);
  EXPECT_EQ(kColorPalette20[23 % 20], (std::vector<int>{255, 178, 29}));
  EXPECT_EQ(kColorPalette20[20 % 20], (std::vector<int>{255, 56, 56}));
  EXPECT_EQ(kColorPalette20[19], (std::vector<int>{255, 55, 199}));
}

// The table is process-wide; this is the only test program that fills it.
TEST(CameraFrameTable, LookupInstallAndGrowth)
{
  EXPECT_EQ(camera_frames.size(), 6U);
  for (int index : {-1, 6, 1}) {
    EXPECT_FALSE(getCameraFrame(index)) << index;
  }
  const auto first = installCameraFrame(1, Eigen::Vector3f(0.2F, 0.F, 0.5F));
  ASSERT_TRUE(first);
  EXPECT_EQ(getCameraFrame(1), first);
  EXPECT_FALSE(first->valid.load());
  EXPECT_EQ(installCameraFrame(1, Eigen::Vector3f::Zero()), first);  // installed once
  EXPECT_TRUE(first->origin.isApprox(Eigen::Vector3f(0.2F, 0.F, 0.5F)));

  ASSERT_TRUE(installCameraFrame(7, Eigen::Vector3f::Zero()));
  EXPECT_EQ(camera_frames.size(), 8U);
  EXPECT_FALSE(getCameraFrame(0));
  EXPECT_FALSE(getCameraFrame(6));
  EXPECT_TRUE(getCameraFrame(7));
  EXPECT_FALSE(installCameraFrame(-1, Eigen::Vector3f::Zero()));
}

TEST(CameraFrameTable, ReadersSeeWholeOutlines)
{
  CameraFrame frame(Eigen::Vector3f::Zero());
  FovPoints points;
  EXPECT_FALSE(frame.getFovPoints(points));

  std::atomic<bool> done{false};
  std::thread writer([&] {
      for (int i = 1; i <= 20000; ++i) {
        frame.setFovPoints(FovPoints::Constant(static_cast<float>(i)));
      }
      done.store(true);
    });
  int torn = 0;
  while (!done.load()) {
    if (frame.getFovPoints(points) && (points.array() != points(0, 0)).any()) {++torn;}
  }
  writer.join();
  EXPECT_EQ(torn, 0);
  ASSERT_TRUE(frame.getFovPoints(points));
  EXPECT_TRUE(points.isApproxToConstant(20000.F));
}

}  // namespace
