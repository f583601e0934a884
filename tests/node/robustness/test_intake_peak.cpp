// What input can make the node hold: depth images claiming far more pixels
// than they hold end at intake, and the largest camera info the node accepts
// gives camera 2 a floor table of a few hundred MB.  Alone in their
// executable, so that the peak is these tests' own.
#include <iostream>
#include <string>
#include <vector>

#include <sys/resource.h>

#include "pipeline/pipeline_fixture.hpp"

namespace node_test
{
namespace
{

// The sanitizers' allocators reserve their shadow and quarantine: the peak
// says nothing there.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kPeakTells = false;
#else
constexpr bool kPeakTells = true;
#endif

constexpr long kPeakLimit = 512L << 20;

long peakResidentBytes()
{
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss * 1024L;  // reported in KiB
}

class IntakePeak : public PipelineTest
{
};

// Stamped long before the clock, with no colour image near them: each ends
// with its one line.
TEST_F(IntakePeak, ClaimsWithoutDataEndAtIntake)
{
  struct Claim
  {
    std::string encoding;
    uint32_t side;
    const char * said;
  };
  const std::vector<Claim> claims{
    {"z16", 30000, "ERROR camera1 depth image unreadable: 30000x30000 z16: unknown encoding"},
    {"z16", 65536, "ERROR camera1 depth image unreadable: 65536x65536 z16: unknown encoding"},
    {"16UC1", 30000, "ERROR camera1 depth image unreadable: 30000x30000 16UC1: step 0 is "
      "shorter than a row of 60000 bytes"},
    {"32FC1", 65536, "ERROR camera1 depth image unreadable: 65536x65536 32FC1: step 0 is "
      "shorter than a row of 262144 bytes"},
  };
  double now = 1000.0;
  startNode({}, now);
  std::vector<std::string> expected;
  for (const Claim & claim : claims) {
    // Past the throttle: every claim says its line.
    harness_->setSimTime(now += 61.0);
    sensor_msgs::msg::Image image;
    image.header.frame_id = "camera_01_depth_optical_frame";
    image.encoding = claim.encoding;
    image.width = image.height = claim.side;
    depth(image);
    expected.push_back(claim.said);
  }
  const auto texts = stopCapture();

  EXPECT_EQ(errorLines(texts), expected);
  EXPECT_TRUE(linesStarting(texts, "DEBUG camera_1 depthCallback get msg-time").empty());
  EXPECT_TRUE(linesStarting(texts, "DEBUG cam_1 :<callback> runtime").empty());
  if (kPeakTells) {
    EXPECT_LT(peakResidentBytes(), kPeakLimit);
  }
  std::cout << "peak resident size " << (peakResidentBytes() >> 20) << " MiB\n";
}

TEST_F(IntakePeak, FloorTableOfTheLargestAcceptedCameraInfo)
{
  auto feeds = defaultFeeds(2);
  feeds[1].width = feeds[1].height = 4096;
  startNode({}, 1000.0, feeds);
  stopCapture();
  EXPECT_EQ(camera(2)->imageWidth(), 4096);
  if (kPeakTells) {
    EXPECT_LT(peakResidentBytes(), kPeakLimit);
  }
  std::cout << "peak resident size " << (peakResidentBytes() >> 20) << " MiB\n";
}

}  // namespace
}  // namespace node_test
