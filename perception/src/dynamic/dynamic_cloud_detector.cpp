#include "pelorin/perception/dynamic_cloud_detector.hpp"

#include <algorithm>
#include <cmath>
#include <utility>

#include "voxel_labels.hpp"
#include "window_min_depth.hpp"

namespace pelorin
{
namespace perception
{
namespace
{

bool PoseToIsometry(const geometry_msgs::msg::Pose& pose, Eigen::Isometry3f& out)
{
  const auto& p = pose.position;
  const auto& q = pose.orientation;
  const Eigen::Vector3d t(p.x, p.y, p.z);
  Eigen::Quaterniond rotation(q.w, q.x, q.y, q.z);
  const double norm = rotation.norm();
  if (!t.allFinite() || !std::isfinite(norm) || norm < 1e-6) {
    return false;
  }
  rotation.coeffs() /= norm;
  Eigen::Isometry3d pose_d = Eigen::Isometry3d::Identity();
  pose_d.linear() = rotation.toRotationMatrix();
  pose_d.translation() = t;
  out = pose_d.cast<float>();
  return true;
}

// A rigid transform: finite, last row (0 0 0 1), orthonormal rotation.
bool IsRigid(const Eigen::Matrix4f& m)
{
  if (!m.allFinite()) {
    return false;
  }
  const Eigen::RowVector4f last(0.0F, 0.0F, 0.0F, 1.0F);
  const Eigen::Matrix3f r = m.topLeftCorner<3, 3>();
  return (m.row(3) - last).cwiseAbs().maxCoeff() < 1e-4F &&
         (r * r.transpose() - Eigen::Matrix3f::Identity()).cwiseAbs().maxCoeff() < 1e-3F &&
         r.determinant() > 0.0F;
}

}  // namespace

DynamicCloudDetector::DynamicCloudDetector(YAML::Node config)
: params_(ParseDynamicDetectorParams(config))
{
}

bool DynamicCloudDetector::Init(Eigen::Matrix4f base_to_cam, Eigen::Matrix3f intrinsics, int width,
                                int height, float max_depth)
{
  initialised_ = false;
  history_.clear();
  moving_voxels_.clear();
  division_available_ = false;
  const bool intrinsics_ok = intrinsics.allFinite() && intrinsics(0, 0) > 0.0F &&
                             intrinsics(1, 1) > 0.0F && intrinsics(2, 2) == 1.0F &&
                             intrinsics(2, 0) == 0.0F && intrinsics(2, 1) == 0.0F;
  const bool size_ok = width > 0 && height > 0 &&
                       static_cast<int64_t>(width) * static_cast<int64_t>(height) <= (1LL << 26);
  if (!IsRigid(base_to_cam) || !intrinsics_ok || !size_ok || !std::isfinite(max_depth) ||
      max_depth <= params_.min_depth) {
    return false;
  }
  cam_from_base_.matrix() = base_to_cam;
  intrinsics_ = intrinsics;
  width_ = width;
  height_ = height;
  max_depth_ = max_depth;
  initialised_ = true;
  return true;
}

bool DynamicCloudDetector::InputsUsable(const Cloud* obstacle, const cv::Mat& depth,
                                        const geometry_msgs::msg::Pose& pose) const
{
  Eigen::Isometry3f unused;
  return initialised_ && obstacle != nullptr && !depth.empty() && depth.dims == 2 &&
         depth.type() == CV_32FC1 && depth.cols == width_ && depth.rows == height_ &&
         PoseToIsometry(pose, unused);
}

void DynamicCloudDetector::Update(std::shared_ptr<const Cloud> obstacle, const cv::Mat& depth,
                                  const geometry_msgs::msg::Pose& base_in_odom)
{
  division_available_ = false;
  moving_voxels_.clear();
  if (!InputsUsable(obstacle.get(), depth, base_in_odom)) {
    return;
  }
  Eigen::Isometry3f odom_from_base;
  PoseToIsometry(base_in_odom, odom_from_base);

  std::vector<uint8_t> moving(obstacle->size(), 0);
  if (!history_.empty()) {
    LabelPoints(*obstacle, odom_from_base, moving);
  }
  if (std::find(moving.begin(), moving.end(), 1) != moving.end()) {
    moving_voxels_ = LabelVoxels(*obstacle, moving, params_);
  }
  division_available_ = !moving_voxels_.empty();
  PushHistory(depth, odom_from_base * cam_from_base_.inverse());
}

void DynamicCloudDetector::LabelPoints(const Cloud& obstacle,
                                       const Eigen::Isometry3f& odom_from_base,
                                       std::vector<uint8_t>& moving) const
{
  std::vector<uint16_t> violations(obstacle.size(), 0);
  for (const HistoryFrame& frame : history_) {
    // Views far apart magnify pose errors at every depth edge; they are not compared.
    const Eigen::Isometry3f earlier_from_now =
      frame.odom_to_cam * odom_from_base * cam_from_base_.inverse();
    const float turned = Eigen::AngleAxisf(earlier_from_now.linear()).angle();
    if (earlier_from_now.translation().norm() > params_.max_baseline ||
        !(turned <= params_.max_rotation))
    {
      continue;
    }
    // Current base frame straight into the earlier image: rows 0, 1 give u·z, v·z, row 2 z.
    const Eigen::Matrix4f cam_from_base = (frame.odom_to_cam * odom_from_base).matrix();
    Eigen::Matrix<float, 3, 4> projection = intrinsics_ * cam_from_base.topRows<3>();
    for (std::size_t i = 0; i < obstacle.size(); ++i) {
      const pcl::PointXYZ& p = obstacle[i];
      const Eigen::Vector3f uvz = projection * Eigen::Vector4f(p.x, p.y, p.z, 1.0F);
      const float z = uvz.z();
      // Also rejects NaN points and depths the sensor does not measure reliably.
      if (!(z >= params_.min_depth && z <= max_depth_)) {
        continue;
      }
      const float u = std::round(uvz.x() / z);
      const float v = std::round(uvz.y() / z);
      if (!(u >= 0.0F && v >= 0.0F && u < static_cast<float>(width_) &&
            v < static_cast<float>(height_)))
      {
        continue;  // outside the earlier view: no evidence
      }
      const float seen = WindowMinDepth(
        frame.depth, static_cast<int>(v), static_cast<int>(u), params_.neighbourhood_px);
      const float margin = params_.depth_margin + params_.relative_margin * z * z;
      if (seen > 0.0F && seen > z + margin) {
        ++violations[i];
      }
    }
  }
  for (std::size_t i = 0; i < obstacle.size(); ++i) {
    moving[i] = violations[i] >= params_.min_violating_frames ? 1 : 0;
  }
}

void DynamicCloudDetector::PushHistory(const cv::Mat& depth, const Eigen::Isometry3f& odom_from_cam)
{
  // Kept as it is: the few pixels the later frames look at are judged then.
  HistoryFrame frame;
  frame.depth = depth;
  frame.odom_to_cam = odom_from_cam.inverse();
  history_.push_back(std::move(frame));
  while (static_cast<int>(history_.size()) > params_.history_length) {
    history_.pop_front();
  }
}

void DynamicCloudDetector::DivideCloud(const Cloud& cluster, Cloud& moving, Cloud& still) const
{
  Cloud moving_part;
  Cloud still_part;
  moving_part.reserve(cluster.size());
  still_part.reserve(cluster.size());
  for (const pcl::PointXYZ& p : cluster) {
    int64_t key = 0;
    const bool is_moving = !moving_voxels_.empty() && VoxelKeyOf(p, params_.voxel_size, key) &&
                           moving_voxels_.count(key) > 0;
    (is_moving ? moving_part : still_part).push_back(p);
  }
  // Built aside so that an output may be the cluster itself.
  for (Cloud* part : {&moving_part, &still_part}) {
    part->header = cluster.header;
    part->is_dense = cluster.is_dense;
  }
  moving = std::move(moving_part);
  still = std::move(still_part);
}

}  // namespace perception
}  // namespace pelorin
