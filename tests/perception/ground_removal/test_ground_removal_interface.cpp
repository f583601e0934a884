// Contract of RemoveGroundLineFit: parameter checks, bad points, the split
// into outputs, the outlier cloud, the ground lines and the preprocessing.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>

#include "ground_settings.hpp"
#include "pelorin/perception/remove_ground_line_fit.hpp"

namespace {

using pelorin::perception::GroundRemovalParams;
using pelorin::perception::RemoveGroundLineFit;
using Cloud = RemoveGroundLineFit::Cloud;
using PointClass = RemoveGroundLineFit::PointClass;

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

GroundRemovalParams tuned() { return ground_test::groundParamsFor(ground_test::groundCamera()); }

// Floor ahead of the robot on a 2.5 cm grid, heights from `floor`, with
// millimetre noise.
template <typename Height>
Cloud floorAhead(Height floor, float x_end = 1.9f) {
  Cloud cloud;
  std::mt19937 rng(7);
  std::normal_distribution<float> noise(0.0f, 0.001f);
  for (float x = 0.2f; x < x_end; x += 0.025f) {
    for (float y = -0.8f * x; y <= 0.8f * x; y += 0.025f) {
      cloud.push_back(pcl::PointXYZ(x, y, floor(x) + noise(rng)));
    }
  }
  return cloud;
}

Cloud flatFloor() {
  return floorAhead([](float) { return 0.0f; });
}

std::size_t count(const std::vector<PointClass>& classes, PointClass c) {
  return static_cast<std::size_t>(std::count(classes.begin(), classes.end(), c));
}

struct BadValue {
  const char* field;
  void (*spoil)(GroundRemovalParams&);
  friend void PrintTo(const BadValue& v, std::ostream* os) { *os << v.field; }
};

class GroundRemovalRejects : public ::testing::TestWithParam<BadValue> {};

TEST_P(GroundRemovalRejects, NamingTheField) {
  GroundRemovalParams p = tuned();
  GetParam().spoil(p);
  EXPECT_NE(RemoveGroundLineFit::ValidationError(p).find(GetParam().field), std::string::npos);
  EXPECT_THROW(RemoveGroundLineFit{p}, std::invalid_argument);
}

INSTANTIATE_TEST_SUITE_P(
    Values, GroundRemovalRejects,
    ::testing::Values(
        BadValue{"segmentation_angular_resolution", [](GroundRemovalParams& p) { p.segmentation_angular_resolution = 0.0f; }},
        BadValue{"segmentation_angular_resolution", [](GroundRemovalParams& p) { p.segmentation_angular_resolution = kNaN; }},
        BadValue{"segmentation_bin_len", [](GroundRemovalParams& p) { p.segmentation_bin_len = -0.05f; }},
        BadValue{"segmentation_bin_len", [](GroundRemovalParams& p) { p.segmentation_bin_len = 1e-7f; }},
        BadValue{"point_cloud_max_range", [](GroundRemovalParams& p) { p.point_cloud_max_range = 0.2f; }},
        BadValue{"point_cloud_min_range", [](GroundRemovalParams& p) { p.point_cloud_min_range = -1.0f; }},
        BadValue{"cam_height", [](GroundRemovalParams& p) { p.cam_height = kInf; }},
        BadValue{"noise_nsigma", [](GroundRemovalParams& p) { p.noise_nsigma = kNaN; }}));

TEST(GroundRemovalInterface, AcceptsTheDefaultRecord) {
  EXPECT_EQ(RemoveGroundLineFit::ValidationError(GroundRemovalParams{}), "");
  EXPECT_NO_THROW(RemoveGroundLineFit{GroundRemovalParams{}});
}

TEST(GroundRemovalInterface, SplitsEveryPointOnceAndReplacesTheOutputs) {
  Cloud::Ptr base(new Cloud(flatFloor()));
  const std::size_t floor_points = base->size();
  for (float z = 0.0f; z < 1.5f; z += 0.025f) {  // a pole at 1 m, taller than the obstacles
    base->push_back(pcl::PointXYZ(1.0f, 0.0f, z));
  }
  base->push_back(pcl::PointXYZ(1.5f, 0.3f, -0.2f));  // below the floor
  base->push_back(pcl::PointXYZ(kNaN, 0.0f, 0.0f));
  base->push_back(pcl::PointXYZ(1.0f, kInf, 0.0f));
  base->header.frame_id = "base_footprint";

  RemoveGroundLineFit fitter(tuned());
  Cloud::Ptr obstacle(new Cloud), ground(new Cloud);
  obstacle->push_back(pcl::PointXYZ(9.0f, 9.0f, 9.0f));  // left from an earlier frame
  fitter.RemoveGround(base, obstacle, ground);

  EXPECT_GE(ground->size(), floor_points - 2);
  EXPECT_EQ(ground->header.frame_id, "base_footprint");
  EXPECT_EQ(obstacle->header.frame_id, "base_footprint");
  for (const pcl::PointXYZ& p : obstacle->points) {
    EXPECT_NEAR(p.x, 1.0f, 0.03f);  // only the pole
    EXPECT_LE(p.z, tuned().max_obstacle_height + 0.001f);
    EXPECT_GT(p.z, -0.005f);  // its foot, too
  }
  EXPECT_GE(obstacle->size(), static_cast<std::size_t>(tuned().max_obstacle_height / 0.025f) - 2);
  const Cloud::Ptr outliers = fitter.GetOutlierCloud();
  ASSERT_EQ(outliers->size(), 1u);
  EXPECT_FLOAT_EQ(outliers->points[0].z, -0.2f);
  outliers->clear();  // a copy: the fitter's own stays
  EXPECT_EQ(fitter.GetOutlierCloud()->size(), 1u);

  std::vector<PointClass> classes;
  fitter.Classify(*base, classes);
  ASSERT_EQ(classes.size(), base->size());
  EXPECT_EQ(count(classes, PointClass::kInvalid), 2u);
  EXPECT_EQ(count(classes, PointClass::kBelowGround), 1u);
  EXPECT_EQ(count(classes, PointClass::kAboveObstacles) + count(classes, PointClass::kObstacle) +
                count(classes, PointClass::kGround) + 3,
            base->size());
  EXPECT_GT(count(classes, PointClass::kAboveObstacles), 20u);
}

TEST(GroundRemovalInterface, NullAndEmptyCloudsAreHarmless) {
  RemoveGroundLineFit fitter(tuned());
  Cloud::Ptr ground(new Cloud(flatFloor())), obstacle(new Cloud);
  fitter.PreprocessCloud(nullptr);
  fitter.RemoveGround(nullptr, obstacle, ground);
  EXPECT_FALSE(ground->empty());  // untouched without a base cloud

  Cloud::Ptr base(new Cloud(flatFloor()));
  fitter.RemoveGround(base, nullptr, ground);
  EXPECT_GT(ground->size(), base->size() / 2);
  EXPECT_FALSE(fitter.GetGroundLines().empty());

  Cloud::Ptr empty(new Cloud);
  fitter.PreprocessCloud(empty);
  fitter.RemoveGround(empty, obstacle, ground);
  EXPECT_TRUE(ground->empty());
  EXPECT_TRUE(obstacle->empty());
  EXPECT_TRUE(fitter.GetGroundLines().empty());  // the lines are those of the last frame
}

TEST(GroundRemovalInterface, FarOutPointsLeaveTheFloorAlone) {
  Cloud::Ptr base(new Cloud(flatFloor()));
  const std::size_t floor_points = base->size();
  for (const float v : {1e30f, -1e30f, 3e38f, 1e-30f}) {
    base->push_back(pcl::PointXYZ(v, 0.5f, 0.0f));
    base->push_back(pcl::PointXYZ(1.0f, v, v));
  }
  RemoveGroundLineFit fitter(tuned());
  fitter.PreprocessCloud(base);
  Cloud::Ptr obstacle(new Cloud), ground(new Cloud);
  fitter.RemoveGround(base, obstacle, ground);
  EXPECT_GE(ground->size(), floor_points - 2);
  for (const Cloud::Ptr& out : {obstacle, ground}) {
    for (const pcl::PointXYZ& p : out->points) {
      EXPECT_TRUE(std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z));
    }
  }
}

struct FloorShape {
  const char* name;
  float (*height)(float x);
  friend void PrintTo(const FloorShape& f, std::ostream* os) { *os << f.name; }
};

class GroundRemovalFollows : public ::testing::TestWithParam<FloorShape> {};

// Lines run along the floor in order of range, and the floor is ground
// whether flat, off the calibrated height or sloping.
TEST_P(GroundRemovalFollows, TheFloorWithLinesInOrderOfRange) {
  const Cloud floor = floorAhead(GetParam().height);
  RemoveGroundLineFit fitter(tuned());
  std::vector<PointClass> classes;
  fitter.Classify(floor, classes);
  EXPECT_GE(count(classes, PointClass::kGround), floor.size() * 99 / 100);

  const std::vector<Cloud> lines = fitter.GetGroundLines();
  ASSERT_GE(lines.size(), 8u);
  for (const Cloud& line : lines) {
    ASSERT_GE(line.size(), 2u);
    for (std::size_t i = 0; i < line.size(); ++i) {
      const pcl::PointXYZ& p = line.points[i];
      EXPECT_NEAR(p.z, GetParam().height(p.x), 0.01f);
      if (i > 0) {
        const pcl::PointXYZ& q = line.points[i - 1];
        EXPECT_GT(std::hypot(p.x, p.y), std::hypot(q.x, q.y));
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, GroundRemovalFollows,
    ::testing::Values(FloorShape{"flat", [](float) { return 0.0f; }},
                      FloorShape{"two_cm_high", [](float) { return 0.02f; }},
                      FloorShape{"sloping", [](float x) { return 0.1f * x; }},
                      FloorShape{"ramp_from_one_metre", [](float x) { return x < 1.0f ? 0.0f : 0.15f * (x - 1.0f); }}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(GroundRemovalInterface, PreprocessingRemovesNearNoiseBelowTheFloorOnly) {
  GroundRemovalParams p = tuned();
  Cloud::Ptr cloud(new Cloud(flatFloor()));
  const std::size_t floor_points = cloud->size();
  cloud->push_back(pcl::PointXYZ(0.5f, 0.0f, -0.03f));  // near, below the floor: noise
  cloud->push_back(pcl::PointXYZ(0.6f, 0.1f, -0.3f));   // near, far below: noise
  cloud->push_back(pcl::PointXYZ(1.5f, 0.0f, -0.03f));  // beyond the near range: left to the fit
  cloud->push_back(pcl::PointXYZ(kNaN, kNaN, kNaN));

  RemoveGroundLineFit fitter(p);
  fitter.PreprocessCloud(cloud);
  EXPECT_EQ(cloud->size(), floor_points + 1);
  EXPECT_EQ(cloud->width, cloud->size());
  EXPECT_TRUE(cloud->is_dense);
  EXPECT_EQ(fitter.GetOutlierCloud()->size(), 2u);

  // RemoveGround adds its own noise to that of the preprocessing.
  Cloud::Ptr obstacle(new Cloud), ground(new Cloud);
  fitter.RemoveGround(cloud, obstacle, ground);
  EXPECT_EQ(fitter.GetOutlierCloud()->size(), 3u);
  // Without a new preprocessing the next frame starts a fresh outlier cloud.
  fitter.RemoveGround(cloud, obstacle, ground);
  EXPECT_EQ(fitter.GetOutlierCloud()->size(), 1u);
}

TEST(GroundRemovalInterface, ThinsOnlyTheNearRange) {
  GroundRemovalParams p = tuned();
  p.diluting_threshold = 0.05f;
  // 1 cm up, so the floor's noise stays inside one layer of cubes.
  Cloud::Ptr cloud(new Cloud(floorAhead([](float) { return 0.01f; })));
  std::size_t near = 0;
  for (const pcl::PointXYZ& q : cloud->points) near += q.x < p.x_distance_need_preprocess;
  const std::size_t far = cloud->size() - near;

  RemoveGroundLineFit fitter(p);
  fitter.PreprocessCloud(cloud);
  std::size_t near_kept = 0;
  for (const pcl::PointXYZ& q : cloud->points) near_kept += q.x < p.x_distance_need_preprocess;
  EXPECT_EQ(cloud->size() - near_kept, far);
  EXPECT_LT(near_kept, near / 3);  // 2.5 cm grid into 5 cm cubes: about a quarter
  EXPECT_GT(near_kept, near / 6);
}

}  // namespace
