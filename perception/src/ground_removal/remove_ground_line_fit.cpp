#include "pelorin/perception/remove_ground_line_fit.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>
#include <utility>

#include "cell_set.hpp"
#include "floor_candidates.hpp"
#include "floor_lines.hpp"
#include "near_floor.hpp"
#include "obstacle_foot_grid.hpp"
#include "polar_grid.hpp"
#include "segment_line_fitter.hpp"

namespace pelorin::perception {
namespace {

using ground::Candidate;
using ground::Line;

// Segment and bin tables are sized segments * bins; this bounds their memory.
constexpr double kMaxCells = 4.0e6;
// A floor spread below this is taken as this (a perfectly flat synthetic floor
// would otherwise make every millimetre below it noise).
constexpr float kMinFloorSpread = 0.001f;
// Foot rule: an obstacle point may stand up to this many ground bands above
// the low point, and lie this share of the band behind it.  Points in the
// floor's noise (below the low share of the band) need an obstacle point
// within half the reach and not behind them, which the floor beside or in
// front of a face does not have.
constexpr float kFootRiseBands = 2.5f;
// Only points this many bands up stand for an obstacle: floor noise just
// above the band must not claim its neighbours.
constexpr float kFootSeedBands = 1.5f;
constexpr float kFootSlackShare = 0.25f;
constexpr float kFootLowShare = 0.12f;
constexpr float kFootNoiseShare = 0.5f;
// Cells of the thinning grid beyond this number are left alone.
constexpr double kMaxThinningCell = 1.0e6;


bool finite(const pcl::PointXYZ& p) {
  return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z);
}

}  // namespace

struct RemoveGroundLineFit::State {
  explicit State(const GroundRemovalParams& params) : p(params) {
    const double two_pi = 2.0 * M_PI;
    grid.segment_width = params.segmentation_angular_resolution;
    grid.segments = static_cast<int>(std::ceil(two_pi / params.segmentation_angular_resolution - 1e-6));
    grid.bin_len = params.segmentation_bin_len;
    grid.min_range = params.point_cloud_min_range;
    grid.max_range = params.point_cloud_max_range;
    grid.bins = static_cast<int>(
        std::ceil((params.point_cloud_max_range - params.point_cloud_min_range) /
                      params.segmentation_bin_len - 1e-6));
    if (grid.bins < 1) {
      grid.bins = 1;
    }
    limits.min_slope = params.min_slope;
    limits.max_slope = params.max_slope;
    limits.max_rms = params.max_lsq_residual;
    limits.band = params.max_dist_point_groundline;
    limits.start_up = params.max_height_diff_for_start_up;
    limits.start_down = params.max_height_diff_for_start_down;
    limits.long_gap = params.long_threshold;
    limits.highest_floor = params.cam_height;
    samples.resize(grid);
    lines.reset(grid);
  }

  void fitLines(const Cloud& cloud);
  void judgePoints(const Cloud& cloud, std::vector<PointClass>& classes);

  GroundRemovalParams p;
  ground::PolarGrid grid;
  ground::LineFitLimits limits;
  ground::FloorCandidates samples;
  ground::FloorLines lines;
  float floor_height = 0.0f;  // measured in front of the robot

  std::vector<float> position;  // per point: segment position of its bearing
  std::vector<float> range;     // per point: horizontal range, NaN when not finite
  std::vector<float> height;    // per point: height above the floor
  std::vector<std::size_t> low_points;  // ground points the foot rule may claim
  std::vector<float> scratch;
  ground::CellSet thinning;
  ground::ObstacleFootGrid feet;
  std::vector<PointClass> classes;

  Cloud outliers;
  bool outliers_from_preprocess = false;
};

void RemoveGroundLineFit::State::fitLines(const Cloud& cloud) {
  floor_height = ground::measureNearFloor(cloud, p.x_distance_need_preprocess,
                                          p.z_distance_need_remove, scratch)
                     .height;
  const std::size_t n = cloud.size();
  position.resize(n);
  range.resize(n);
  for (std::size_t i = 0; i < n; ++i) {
    const pcl::PointXYZ& pt = cloud.points[i];
    if (!finite(pt)) {
      range[i] = std::numeric_limits<float>::quiet_NaN();
      continue;
    }
    range[i] = std::sqrt(pt.x * pt.x + pt.y * pt.y);
    position[i] = grid.segmentPosition(std::atan2(pt.y, pt.x));
  }
  samples.sample(cloud, range, position, grid, p.max_dist_point_groundline);
  lines.fit(samples.candidates(), limits, floor_height);
}

void RemoveGroundLineFit::State::judgePoints(const Cloud& cloud, std::vector<PointClass>& out) {
  const std::size_t n = cloud.size();
  out.assign(n, PointClass::kInvalid);
  height.assign(n, 0.0f);
  low_points.clear();
  const float band = p.max_dist_point_groundline;
  feet.reset(band, kFootRiseBands * band);

  for (std::size_t i = 0; i < n; ++i) {
    if (std::isnan(range[i])) {
      continue;
    }
    float floor = 0.0f, front = 0.0f;
    lines.floorAt(position[i], range[i], p.long_threshold, floor_height, floor, front);
    // Where the floor of the bin spreads wider than the band (far, noisy
    // depth), the band widens to the floor's noise.
    const float sigma = samples.noise(static_cast<std::size_t>(
        grid.segmentOf(position[i]) * grid.bins + grid.nearestBin(range[i])));
    const float noise = p.noise_nsigma * sigma;
    const float point_band =
        std::max(range[i] < front ? p.max_height_diff_for_front : band, noise);
    const pcl::PointXYZ& pt = cloud.points[i];
    const float h = pt.z - floor;
    height[i] = h;
    if (h < -point_band) {
      out[i] = PointClass::kBelowGround;
    } else if (h <= point_band) {
      out[i] = PointClass::kGround;
      // Where depth noise is a good part of the band, a foot cannot be told
      // from the floor around it.
      if (sigma <= kFootNoiseShare * band) {
        low_points.push_back(i);
      }
    } else if (h <= p.max_obstacle_height) {
      out[i] = PointClass::kObstacle;
      if (h >= kFootSeedBands * band) {
        feet.addObstacle(pt.x, pt.y, range[i], h);
      }
    } else {
      out[i] = PointClass::kAboveObstacles;
    }
  }

  feet.index();
  for (const std::size_t i : low_points) {
    const pcl::PointXYZ& pt = cloud.points[i];
    const bool low = height[i] <= kFootLowShare * band;
    if (feet.isFoot(pt.x, pt.y, range[i], height[i], low ? 0.5f * band : band,
                    low ? 0.0f : kFootSlackShare * band)) {
      out[i] = PointClass::kObstacle;
    }
  }
}

std::string RemoveGroundLineFit::ValidationError(const GroundRemovalParams& params) {
  const std::pair<const char*, float> values[] = {
      {"segmentation_angular_resolution", params.segmentation_angular_resolution},
      {"point_cloud_max_range", params.point_cloud_max_range},
      {"point_cloud_min_range", params.point_cloud_min_range},
      {"segmentation_bin_len", params.segmentation_bin_len},
      {"cam_height", params.cam_height},
      {"max_lsq_residual", params.max_lsq_residual},
      {"min_slope", params.min_slope},
      {"max_slope", params.max_slope},
      {"max_height_diff_for_start_up", params.max_height_diff_for_start_up},
      {"max_height_diff_for_start_down", params.max_height_diff_for_start_down},
      {"max_dist_point_groundline", params.max_dist_point_groundline},
      {"long_threshold", params.long_threshold},
      {"max_height_diff_for_front", params.max_height_diff_for_front},
      {"x_distance_need_preprocess", params.x_distance_need_preprocess},
      {"z_distance_need_remove", params.z_distance_need_remove},
      {"max_obstacle_height", params.max_obstacle_height},
      {"diluting_threshold", params.diluting_threshold},
      {"noise_nsigma", params.noise_nsigma},
  };
  for (const auto& [name, value] : values) {
    if (!std::isfinite(value)) {
      return std::string("RemoveGroundLineFit: ") + name + " must be finite, got " +
             std::to_string(value);
    }
  }
  auto error = [](const char* text, float value) {
    return std::string("RemoveGroundLineFit: ") + text + ", got " + std::to_string(value);
  };
  if (!(params.segmentation_angular_resolution > 1e-4f) ||
      params.segmentation_angular_resolution > 2.0f * static_cast<float>(M_PI)) {
    return error("segmentation_angular_resolution must lie in (0.0001, 2 pi] radians",
                 params.segmentation_angular_resolution);
  }
  if (!(params.segmentation_bin_len > 0.0f)) {
    return error("segmentation_bin_len must be positive", params.segmentation_bin_len);
  }
  if (params.point_cloud_min_range < 0.0f) {
    return error("point_cloud_min_range must not be negative", params.point_cloud_min_range);
  }
  if (!(params.point_cloud_max_range > params.point_cloud_min_range)) {
    return error("point_cloud_max_range must exceed point_cloud_min_range",
                 params.point_cloud_max_range);
  }
  const double segments = std::ceil(2.0 * M_PI / params.segmentation_angular_resolution);
  const double bins = std::ceil((static_cast<double>(params.point_cloud_max_range) -
                                 params.point_cloud_min_range) / params.segmentation_bin_len);
  if (segments * bins > kMaxCells) {
    return error("segments times range bins must stay below 4e6; segmentation_bin_len too small",
                 params.segmentation_bin_len);
  }
  return {};
}

RemoveGroundLineFit::RemoveGroundLineFit(const GroundRemovalParams& params) {
  const std::string error = ValidationError(params);
  if (!error.empty()) {
    throw std::invalid_argument(error);
  }
  state_ = std::make_unique<State>(params);
}

RemoveGroundLineFit::~RemoveGroundLineFit() = default;

std::vector<RemoveGroundLineFit::Cloud> RemoveGroundLineFit::GetGroundLines() const {
  const State& st = *state_;
  const std::vector<Line>& all = st.lines.lines();
  const std::vector<Candidate>& candidates = st.samples.candidates();
  std::vector<Cloud> result;
  result.reserve(all.size());
  for (int s = 0; s < st.grid.segments; ++s) {
    for (int l = st.lines.begin(s); l < st.lines.begin(s + 1); ++l) {
      const Line& line = all[static_cast<std::size_t>(l)];
      Cloud cloud;
      for (int b = line.first_bin; b <= line.last_bin; ++b) {
        const std::size_t cell = static_cast<std::size_t>(s) * st.grid.bins + b;
        if (b == line.first_bin || st.lines.lineOfCell(cell) == l) {
          const Candidate& c = candidates[cell];
          cloud.push_back(pcl::PointXYZ(c.x, c.y, line.heightAt(c.range)));
        }
      }
      result.push_back(std::move(cloud));
    }
  }
  return result;
}

RemoveGroundLineFit::Cloud::Ptr RemoveGroundLineFit::GetOutlierCloud() {
  return std::make_shared<Cloud>(state_->outliers);
}

void RemoveGroundLineFit::PreprocessCloud(Cloud::Ptr cloud) {
  State& st = *state_;
  st.outliers.clear();
  st.outliers_from_preprocess = true;
  if (!cloud) {
    return;
  }
  const GroundRemovalParams& p = st.p;
  const ground::NearFloor near = ground::measureNearFloor(
      *cloud, p.x_distance_need_preprocess, p.z_distance_need_remove, st.scratch);
  // Below the sampled floor by more than n sigma (of the floor's spread at
  // that distance) is noise; without a sample only what is deeper than the
  // sampling band is.
  const auto depth_limit = [&](float x) {
    return near.measured ? std::min(p.z_distance_need_remove,
                                    p.noise_nsigma * std::max(near.spreadAt(x), kMinFloorSpread))
                         : p.z_distance_need_remove;
  };
  const bool thin = p.diluting_threshold > 0.0f;
  if (thin) {
    st.thinning.reset(cloud->size());
  }

  std::size_t kept = 0;
  for (std::size_t i = 0; i < cloud->size(); ++i) {
    const pcl::PointXYZ pt = cloud->points[i];
    if (!finite(pt)) {
      continue;
    }
    if (pt.x >= 0.0f && pt.x < p.x_distance_need_preprocess) {
      if (pt.z < near.height - depth_limit(pt.x)) {
        st.outliers.push_back(pt);
        continue;
      }
      if (thin) {
        const double cx = std::floor(pt.x / p.diluting_threshold);
        const double cy = std::floor(pt.y / p.diluting_threshold);
        const double cz = std::floor(pt.z / p.diluting_threshold);
        if (std::fabs(cx) < kMaxThinningCell && std::fabs(cy) < kMaxThinningCell &&
            std::fabs(cz) < kMaxThinningCell &&
            !st.thinning.insert(static_cast<int32_t>(cx), static_cast<int32_t>(cy),
                                static_cast<int32_t>(cz))) {
          continue;
        }
      }
    }
    cloud->points[kept++] = pt;
  }
  cloud->points.resize(kept);
  cloud->width = static_cast<uint32_t>(kept);
  cloud->height = 1;
  cloud->is_dense = true;
}

void RemoveGroundLineFit::Classify(const Cloud& cloud, std::vector<PointClass>& classes) {
  state_->fitLines(cloud);
  state_->judgePoints(cloud, classes);
}

void RemoveGroundLineFit::RemoveGround(Cloud::Ptr base, Cloud::Ptr obstacle, Cloud::Ptr ground) {
  State& st = *state_;
  if (!st.outliers_from_preprocess) {
    st.outliers.clear();
  }
  st.outliers_from_preprocess = false;
  if (!base) {
    return;
  }
  Classify(*base, st.classes);
  for (Cloud::Ptr out : {obstacle, ground}) {
    if (out) {
      out->clear();
      out->header = base->header;
    }
  }
  for (std::size_t i = 0; i < base->size(); ++i) {
    const pcl::PointXYZ& pt = base->points[i];
    switch (st.classes[i]) {
      case PointClass::kGround:
        if (ground) ground->push_back(pt);
        break;
      case PointClass::kObstacle:
        if (obstacle) obstacle->push_back(pt);
        break;
      case PointClass::kBelowGround:
        st.outliers.push_back(pt);
        break;
      default:
        break;
    }
  }
}

}  // namespace pelorin::perception
