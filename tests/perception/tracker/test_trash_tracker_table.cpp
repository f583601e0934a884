// Association, confirmation and removal of trash tracks.

#include <cmath>
#include <limits>
#include <vector>

#include <gtest/gtest.h>

#include "tracker_test_scene.hpp"
#include "trash_track_table.hpp"

namespace
{

using namespace tracker_test;
using pelorin::perception::ObjectInfo;
using pelorin::perception::TrackerConfig;
using pelorin::perception::TrashTrackTable;

// Two cameras looking ahead, one low and one high; their views overlap.
const Eigen::Isometry3d kLow = CameraInBase(0.2, 0.3, 0.0, 0.5);
const Eigen::Isometry3d kHigh = CameraInBase(0.2, 0.6, 0.0, 0.7);
// Two cameras looking left and right; their views do not overlap.
const Eigen::Isometry3d kLeft = CameraInBase(0.2, 0.4, 0.7, 0.5);
const Eigen::Isometry3d kRight = CameraInBase(0.2, 0.4, -0.7, 0.5);
const Eigen::Isometry3d kHome = RobotAt(0.0, 0.0, 0.0);
const Eigen::Vector3d kAhead(1.0, 0.0, 0.03);

TrashTrackTable TableWith(const TrackerConfig& config, std::vector<Eigen::Isometry3d> cameras)
{
  TrashTrackTable table(config);
  for (const auto& camera : cameras) {
    EXPECT_TRUE(table.AddCamera(View(camera)));
  }
  return table;
}

TEST(TrashTrackTable, TwoCamerasReportingOneBottleMakeOneTrack)
{
  TrashTrackTable table = TableWith(TrackerConfig{}, {kLow, kHigh});
  double now = 0.0;
  for (int i = 0; i < 6; ++i) {
    // The cameras disagree by a few centimetres, as their calibrations do.
    const bool low = i % 2 == 0;
    const Eigen::Vector3d where = kAhead + Eigen::Vector3d(low ? 0.03 : -0.03, 0.02, 0.0);
    table.Update({Seen(kBottle, where, low ? kLow : kHigh, kHome)}, kHome, true, now += 0.1);
  }
  ASSERT_EQ(table.tracks().size(), 1U);
  const auto confirmed = table.ConfirmedTracks();
  ASSERT_EQ(confirmed.size(), 1U);
  EXPECT_EQ(confirmed[0].hits, 6);
  EXPECT_NEAR((confirmed[0].position - (kAhead + Eigen::Vector3d(0.0, 0.02, 0.0))).norm(), 0.0,
              0.03);
  EXPECT_FLOAT_EQ(confirmed[0].size[0], 0.2F);
}

TEST(TrashTrackTable, SingleFlickerIsNeverConfirmed)
{
  TrackerConfig config;
  config.confirm_hits = 2;
  TrashTrackTable table = TableWith(config, {kLow});
  table.Update({Seen(kBottle, kAhead, kLow, kHome)}, kHome, true, 0.0);
  for (int i = 1; i <= config.max_misses; ++i) {
    EXPECT_TRUE(table.ConfirmedTracks().empty());
    table.Update({}, kHome, true, 0.1 * i);
  }
  EXPECT_TRUE(table.tracks().empty());
}

TEST(TrashTrackTable, BottlePickedUpInViewGoesAfterTheConfiguredMisses)
{
  for (int max_misses : {1, 3, 7}) {
    TrackerConfig config;
    config.max_misses = max_misses;
    TrashTrackTable table = TableWith(config, {kLow});
    double now = 0.0;
    for (int i = 0; i < config.confirm_hits; ++i) {
      table.Update({Seen(kBottle, kAhead, kLow, kHome)}, kHome, true, now += 0.1);
    }
    for (int miss = 1; miss < max_misses; ++miss) {
      table.Update({}, kHome, true, now += 0.1);
      EXPECT_EQ(table.ConfirmedTracks().size(), 1U) << max_misses << " after " << miss;
    }
    table.Update({}, kHome, true, now += 0.1);
    EXPECT_TRUE(table.tracks().empty()) << max_misses;
  }
}

TEST(TrashTrackTable, BottleOutOfViewStaysUntilItAgesOut)
{
  TrackerConfig config;
  config.max_age = 60.0;
  TrashTrackTable table = TableWith(config, {kLow, kHigh});
  double now = 0.0;
  for (int i = 0; i < config.confirm_hits; ++i) {
    table.Update({Seen(kBottle, kAhead, kLow, kHome)}, kHome, true, now += 0.1);
  }
  struct Case
  {
    const char* name;
    Eigen::Isometry3d robot;
  };
  const std::vector<Case> away = {
    {"turned round", RobotAt(0.0, 0.0, M_PI)},
    {"too far", RobotAt(-2.0, 0.0, 0.0)},
    {"too near, below the view", RobotAt(0.9, 0.0, 0.0)},
    {"to one side", RobotAt(0.0, 1.5, 0.0)},
  };
  for (const Case& c : away) {
    for (int i = 0; i < 3 * config.max_misses; ++i) {
      table.Update({}, c.robot, true, now += 0.1);
    }
    EXPECT_EQ(table.ConfirmedTracks().size(), 1U) << c.name;
  }
  // A robot pose that cannot be used is no evidence that the bottle went away.
  Eigen::Isometry3d broken = kHome;
  broken.translation().x() = std::numeric_limits<double>::quiet_NaN();
  for (int i = 0; i < 3 * config.max_misses; ++i) {
    table.Update({}, broken, false, now += 0.1);
  }
  EXPECT_EQ(table.ConfirmedTracks().size(), 1U);
  table.Update({}, RobotAt(0.0, 0.0, M_PI), true, now + config.max_age + 1.0);
  EXPECT_TRUE(table.tracks().empty());
}

TEST(TrashTrackTable, OnlyTheCameraThatMadeTheFrameCountsMisses)
{
  TrashTrackTable table = TableWith(TrackerConfig{}, {kLeft, kRight});
  const Eigen::Vector3d left_bottle(0.8, 0.7, 0.03);
  const Eigen::Vector3d right_bottle(0.8, -0.7, 0.03);
  double now = 0.0;
  for (int i = 0; i < 3; ++i) {
    table.Update({Seen(kBottle, left_bottle, kLeft, kHome)}, kHome, true, now += 0.1);
    table.Update({Seen(kBottle, right_bottle, kRight, kHome)}, kHome, true, now += 0.1);
  }
  ASSERT_EQ(table.ConfirmedTracks().size(), 2U);
  // The right camera keeps seeing its bottle: the left bottle is not in its view.
  for (int i = 0; i < 20; ++i) {
    table.Update({Seen(kBottle, right_bottle, kRight, kHome)}, kHome, true, now += 0.1);
  }
  ASSERT_EQ(table.ConfirmedTracks().size(), 2U);
  // The left camera sees a can but no longer the bottle beside it: that bottle goes.
  const Eigen::Vector3d can(0.9, 0.5, 0.03);
  for (int i = 0; i < TrackerConfig{}.max_misses; ++i) {
    table.Update({Seen(kCan, can, kLeft, kHome)}, kHome, true, now += 0.1);
  }
  const auto left = table.ConfirmedTracks();
  ASSERT_EQ(left.size(), 2U);
  for (const auto& track : left) {
    EXPECT_GT((track.position - left_bottle).norm(), 0.1);
  }
}

TEST(TrashTrackTable, AssociationKeepsClassesAndDistancesApart)
{
  TrashTrackTable table = TableWith(TrackerConfig{}, {kLow});
  std::vector<ObjectInfo> frame = {
    Seen(kBottle, kAhead, kLow, kHome),
    Seen(kCan, kAhead + Eigen::Vector3d(0.05, 0.0, 0.0), kLow, kHome),
    Seen(kBottle, kAhead + Eigen::Vector3d(0.0, 0.5, 0.0), kLow, kHome),
  };
  for (int i = 0; i < 3; ++i) {
    table.Update(frame, kHome, true, 0.1 * i);
  }
  EXPECT_EQ(table.ConfirmedTracks().size(), 3U);
}

TEST(TrashTrackTable, CloseDuplicatesMergeIntoTheOlderTrack)
{
  TrashTrackTable table = TableWith(TrackerConfig{}, {kLow});
  table.Update({Seen(kBottle, kAhead, kLow, kHome),
                Seen(kBottle, kAhead + Eigen::Vector3d(0.1, 0.0, 0.0), kLow, kHome)},
               kHome, true, 0.0);
  ASSERT_EQ(table.tracks().size(), 1U);
  EXPECT_EQ(table.tracks()[0].id, 1U);
  EXPECT_EQ(table.tracks()[0].hits, 2);
  EXPECT_NEAR(table.tracks()[0].position.x(), kAhead.x() + 0.05, 1e-9);
}

TEST(TrashTrackTable, BadObservationsAreIgnoredAndTheTrackCountIsBounded)
{
  TrackerConfig config;
  config.max_tracks = 4;
  TrashTrackTable table = TableWith(config, {kLow});
  ObjectInfo nan_position = Seen(kBottle, kAhead, kLow, kHome);
  nan_position.position[1] = std::numeric_limits<double>::quiet_NaN();
  ObjectInfo odd_size = Seen(kCan, kAhead, kLow, kHome);
  odd_size.size = {std::numeric_limits<float>::infinity()};
  odd_size.distance = std::numeric_limits<float>::quiet_NaN();
  table.Update({nan_position, odd_size}, kHome, true, 0.0);
  ASSERT_EQ(table.tracks().size(), 1U);
  EXPECT_EQ(table.tracks()[0].class_id, kCan);
  EXPECT_EQ(table.tracks()[0].size[0], -1.0F);

  std::vector<ObjectInfo> many;
  for (int i = 0; i < 10; ++i) {
    many.push_back(Seen(kBottle, Eigen::Vector3d(1.0, -1.0 + 0.4 * i, 0.0), kLow, kHome));
  }
  table.Update(many, kHome, true, 0.1);
  EXPECT_EQ(table.tracks().size(), 4U);

  pelorin::perception::CameraView bad = View(kLow);
  bad.fx = 0.0;
  EXPECT_FALSE(table.AddCamera(bad));
}

}  // namespace
