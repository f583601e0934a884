#include "floor_calibration.hpp"

#include <algorithm>
#include <vector>

#include <pcl/filters/extract_indices.h>
#include <pcl/segmentation/sac_segmentation.h>

namespace recorded {
namespace {

constexpr int kMaxPlanes = 4;
constexpr float kInlierDistance = 0.02f;
// The floor's normal may lean this far from the camera's up axis (pitch or
// roll of the mount).
constexpr double kMaxTilt = 0.6;
constexpr std::size_t kMinInliers = 500;
// Planes this close below or above the lowest one are the same floor seen
// through noise (its tails form planes of their own once the core is taken).
constexpr float kSameFloor = 0.1f;

struct Plane {
  Eigen::Vector3f up;
  float height;
  std::size_t inliers;
};

}  // namespace

FloorCalibration calibrateFloor(const pcl::PointCloud<pcl::PointXYZ>& camera_cloud) {
  pcl::PointCloud<pcl::PointXYZ>::Ptr rest(new pcl::PointCloud<pcl::PointXYZ>);
  for (const pcl::PointXYZ& p : camera_cloud.points) {
    if (p.y > 0.0f) rest->push_back(p);  // below the optical axis
  }
  pcl::SACSegmentation<pcl::PointXYZ> ransac;
  ransac.setOptimizeCoefficients(true);
  ransac.setModelType(pcl::SACMODEL_PERPENDICULAR_PLANE);
  ransac.setMethodType(pcl::SAC_RANSAC);
  ransac.setAxis(Eigen::Vector3f(0.0f, -1.0f, 0.0f));
  ransac.setEpsAngle(kMaxTilt);
  ransac.setDistanceThreshold(kInlierDistance);
  ransac.setMaxIterations(1000);

  std::vector<Plane> planes;
  for (int plane = 0; plane < kMaxPlanes && rest->size() >= kMinInliers; ++plane) {
    pcl::PointIndices::Ptr inliers(new pcl::PointIndices);
    pcl::ModelCoefficients coefficients;
    ransac.setInputCloud(rest);
    ransac.segment(*inliers, coefficients);
    if (inliers->indices.size() < kMinInliers || coefficients.values.size() != 4) break;
    Eigen::Vector3f normal(coefficients.values[0], coefficients.values[1], coefficients.values[2]);
    float d = coefficients.values[3];
    const float length = normal.norm();
    normal /= length;
    d /= length;
    if (d < 0.0f) {  // the camera on the positive side: normal points up to it
      normal = -normal;
      d = -d;
    }
    planes.push_back({normal, d, inliers->indices.size()});
    pcl::ExtractIndices<pcl::PointXYZ> extract;
    extract.setInputCloud(rest);
    extract.setIndices(inliers);
    extract.setNegative(true);
    pcl::PointCloud<pcl::PointXYZ>::Ptr next(new pcl::PointCloud<pcl::PointXYZ>);
    extract.filter(*next);
    rest = next;
  }
  FloorCalibration best;
  if (planes.empty()) return best;
  float lowest = 0.0f;
  for (const Plane& plane : planes) lowest = std::max(lowest, plane.height);
  const Plane* floor = nullptr;
  for (const Plane& plane : planes) {
    if (plane.height >= lowest - kSameFloor && (!floor || plane.inliers > floor->inliers)) floor = &plane;
  }
  best.found = true;
  best.camera_height = floor->height;
  const Eigen::Vector3f up = floor->up;

  // Base axes in camera coordinates; height above the floor is n . p + d.
  const Eigen::Vector3f view(0.0f, 0.0f, 1.0f);
  const Eigen::Vector3f forward = (view - view.dot(up) * up).normalized();
  const Eigen::Vector3f left = up.cross(forward);
  Eigen::Matrix3f rotation;
  rotation.row(0) = forward;
  rotation.row(1) = left;
  rotation.row(2) = up;
  best.camera_to_base.linear() = rotation;
  best.camera_to_base.translation() = Eigen::Vector3f(0.0f, 0.0f, best.camera_height);
  return best;
}

}  // namespace recorded
