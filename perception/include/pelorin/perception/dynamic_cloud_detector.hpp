#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <unordered_set>

#include <Eigen/Core>
#include <Eigen/Geometry>
#include <opencv2/core.hpp>
#include <pcl/point_cloud.h>
#include <pcl/point_types.h>
#include <yaml-cpp/yaml.h>

#include "geometry_msgs/msg/pose.hpp"

namespace pelorin
{
namespace perception
{

// Settings of the moving-point detector (one camera's YAML section).
struct DynamicDetectorParams
{
  int history_length = 6;                // earlier depth frames kept
  float depth_margin = 0.10F;            // metres an earlier depth must exceed a point by
  float relative_margin = 0.02F;         // extra margin per square metre of depth (noise ~ z^2)
  int neighbourhood_px = 2;              // half-width of the window that must all see past a point
  float min_depth = 0.10F;               // metres; nearer points (earlier view) are not judged
  int min_violating_frames = 1;          // earlier frames that must see past a point
  float max_baseline = 0.5F;             // metres; earlier views farther away are not compared
  float max_rotation = 0.35F;            // radians; nor are views turned further than this
  float voxel_size = 0.05F;              // metres, cell of the label grid
  int min_moving_points_per_voxel = 2;   // moving points that make a cell a candidate
  float min_moving_fraction_per_voxel = 0.3F;  // and their share of the cell's points
  int min_moving_voxels_per_cluster = 6;       // connected candidate cells that make a seed
  float grow_distance = 0.90F;           // metres the moving label spreads through touching cells
};

// Parses one camera's section; an undefined or null node gives the defaults.
// Throws std::runtime_error naming the key on a wrong type, a bad value or an unknown key.
DynamicDetectorParams ParseDynamicDetectorParams(const YAML::Node& section);

// Finds moving obstacle points by free-space violation: a point is moving when an
// earlier depth frame, moved into the current frame with the odometry, saw clearly
// past the place where the point is now.
class DynamicCloudDetector
{
public:
  using Cloud = pcl::PointCloud<pcl::PointXYZ>;

  explicit DynamicCloudDetector(YAML::Node config);

  // Camera geometry. Returns false (and the detector reports no motion) on bad values.
  bool Init(Eigen::Matrix4f base_to_cam, Eigen::Matrix3f intrinsics, int width, int height,
            float max_depth);

  // obstacle: base frame; depth: metres, CV_32FC1, the Init size; pose: base in odom.
  // Bad inputs are dropped: no labels, no motion reported.  The depth image is kept
  // as history without a copy (cv::Mat shares its pixels): pass a new image every
  // frame and do not write into it afterwards.
  void Update(std::shared_ptr<const Cloud> obstacle, const cv::Mat& depth,
              const geometry_msgs::msg::Pose& base_in_odom);

  // Puts every point of the cluster (base frame) into exactly one of the outputs,
  // using the labels of the last Update.
  void DivideCloud(const Cloud& cluster, Cloud& moving, Cloud& still) const;

  const DynamicDetectorParams& params() const {return params_;}

  // Set by Update when the last frame holds moving points; the caller clears it.
  bool division_available_ = false;

private:
  struct HistoryFrame
  {
    cv::Mat depth;                 // metres, shared with the caller's image
    Eigen::Isometry3f odom_to_cam;
  };

  bool InputsUsable(const Cloud* obstacle, const cv::Mat& depth,
                    const geometry_msgs::msg::Pose& pose) const;
  void LabelPoints(const Cloud& obstacle, const Eigen::Isometry3f& odom_from_base,
                   std::vector<uint8_t>& moving) const;
  void PushHistory(const cv::Mat& depth, const Eigen::Isometry3f& odom_from_cam);

  DynamicDetectorParams params_;
  bool initialised_ = false;
  Eigen::Isometry3f cam_from_base_ = Eigen::Isometry3f::Identity();
  Eigen::Matrix3f intrinsics_ = Eigen::Matrix3f::Identity();
  int width_ = 0;
  int height_ = 0;
  float max_depth_ = 0.0F;
  std::deque<HistoryFrame> history_;
  std::unordered_set<int64_t> moving_voxels_;  // moving cells of the last Update
};

}  // namespace perception
}  // namespace pelorin
