#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "tf2/buffer_core.h"
#include "tf2/exceptions.h"
#include "transform_fixtures.h"

namespace
{

using tf2_test::link;

// One writer drives the base along x at 1 m/s while four readers look it up at
// random times of the span written so far.  Every answer must be exact for its
// time, and the only acceptable failure is a time that has just been pruned.
TEST(Tf2BufferCoreConcurrency, LookupsDuringWritesStayConsistent)
{
  tf2::BufferCore buffer(tf2::durationFromSec(2.0));
  ASSERT_TRUE(buffer.setTransform(link("map", "odom", 0, 0, 0, 0), "test", true));
  ASSERT_TRUE(buffer.setTransform(link("odom", "base", 0.0, 0.0, 0, 0), "test"));
  ASSERT_TRUE(buffer.setTransform(link("base", "camera", 0, 0, 0, 1), "test", true));

  constexpr int kSamples = 4000;
  constexpr double kPeriod = 0.01;
  std::atomic<int> written{0};
  std::atomic<bool> done{false};
  std::atomic<long> attempts{0};

  std::thread writer([&] {
      for (int i = 1; i <= kSamples; ++i) {
        const double t = i * kPeriod;
        EXPECT_TRUE(buffer.setTransform(link("odom", "base", t, t, 0, 0), "test"));
        written = i;
        // Keep pace with the readers (however slowly they run) so that writes
        // and look-ups really interleave.
        while (attempts < i) {
          std::this_thread::yield();
        }
      }
      done = true;
    });

  std::atomic<long> answered{0};
  std::vector<std::thread> readers;
  for (int r = 0; r < 4; ++r) {
    readers.emplace_back([&, r] {
        std::mt19937 rng(r);
        while (!done) {
          const int newest_sample = written;
          if (newest_sample == 0) {  // time zero would mean "latest": wait for data
            std::this_thread::yield();
            continue;
          }
          const double newest = newest_sample * kPeriod;
          std::uniform_real_distribution<double> pick(std::max(kPeriod, newest - 1.0), newest);
          const double t = pick(rng);
          try {
            const auto tf = buffer.lookupTransform("map", "camera", tf2::timeFromSec(t));
            EXPECT_NEAR(tf.transform.translation.x, t, 1e-6);
            EXPECT_NEAR(tf.transform.translation.z, 1.0, 1e-12);
            ++answered;
          } catch (const tf2::ExtrapolationException &) {
            // Only a time that fell out of the 2 s cache can fail.
            EXPECT_LT(t, written * kPeriod - 2.0 + kPeriod) << "time " << t;
          }
          ++attempts;
          std::string error;
          buffer.canTransform("camera", "odom", tf2::TimePointZero, &error);
          if (r == 0) {
            buffer.allFramesAsYAML();
          }
        }
      });
  }
  writer.join();
  for (auto & reader : readers) {
    reader.join();
  }
  EXPECT_GT(answered.load(), kSamples / 2);
}

}  // namespace
