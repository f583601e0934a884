#include "box_scene.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

namespace scene
{
namespace
{

// Slab test; t_near and t_far along the ray, false when the ray misses.
bool Slabs(const Box& box, const Eigen::Vector3f& origin, const Eigen::Vector3f& dir,
           float& t_near, float& t_far)
{
  t_near = -std::numeric_limits<float>::infinity();
  t_far = std::numeric_limits<float>::infinity();
  for (int a = 0; a < 3; ++a) {
    if (std::abs(dir[a]) < 1e-9F) {
      if (origin[a] < box.min[a] || origin[a] > box.max[a]) {
        return false;
      }
      continue;
    }
    float t0 = (box.min[a] - origin[a]) / dir[a];
    float t1 = (box.max[a] - origin[a]) / dir[a];
    if (t0 > t1) {
      std::swap(t0, t1);
    }
    t_near = std::max(t_near, t0);
    t_far = std::min(t_far, t1);
  }
  return t_near <= t_far;
}

}  // namespace

Eigen::Matrix3f Camera::K() const
{
  Eigen::Matrix3f k;
  k << fx, 0.0F, cx, 0.0F, fy, cy, 0.0F, 0.0F, 1.0F;
  return k;
}

Rendering Render(const Box& room, const std::vector<Box>& boxes, const Camera& camera,
                 const Eigen::Isometry3f& world_from_cam)
{
  Rendering out{cv::Mat(camera.height, camera.width, CV_32FC1, cv::Scalar(0.0F)),
                cv::Mat(camera.height, camera.width, CV_32SC1, cv::Scalar(-1))};
  const Eigen::Vector3f origin = world_from_cam.translation();
  for (int v = 0; v < camera.height; ++v) {
    for (int u = 0; u < camera.width; ++u) {
      // Direction with unit optical-axis component, so the ray parameter is the depth.
      const Eigen::Vector3f dir = world_from_cam.linear() *
        Eigen::Vector3f((u - camera.cx) / camera.fx, (v - camera.cy) / camera.fy, 1.0F);
      float best = std::numeric_limits<float>::infinity();
      int id = -1;
      float t_near = 0.0F;
      float t_far = 0.0F;
      if (Slabs(room, origin, dir, t_near, t_far) && t_far > 0.0F) {
        best = t_far;
        id = room.id;
      }
      for (const Box& box : boxes) {
        if (Slabs(box, origin, dir, t_near, t_far) && t_near > 0.0F && t_near < best) {
          best = t_near;
          id = box.id;
        }
      }
      if (id >= 0) {
        out.depth.at<float>(v, u) = best;
        out.ids.at<int>(v, u) = id;
      }
    }
  }
  return out;
}

void AddSensorNoise(cv::Mat& depth, float hole_fraction, std::mt19937& random)
{
  std::normal_distribution<float> gauss(0.0F, 1.0F);
  std::uniform_real_distribution<float> uniform(0.0F, 1.0F);
  for (int v = 0; v < depth.rows; ++v) {
    for (int u = 0; u < depth.cols; ++u) {
      float& d = depth.at<float>(v, u);
      const float sigma = 0.002F + 0.0015F * d * d;
      d = uniform(random) < hole_fraction ? 0.0F : d + sigma * gauss(random);
    }
  }
}

pcl::PointCloud<pcl::PointXYZ> ObstacleCloud(const Rendering& rendering, const cv::Mat& depth,
                                             const Camera& camera,
                                             const Eigen::Isometry3f& base_from_cam, int stride,
                                             float max_depth, std::vector<int>& ids)
{
  pcl::PointCloud<pcl::PointXYZ> cloud;
  ids.clear();
  for (int v = 0; v < depth.rows; v += stride) {
    for (int u = 0; u < depth.cols; u += stride) {
      const float d = depth.at<float>(v, u);
      if (!(d > 0.0F && d < max_depth)) {
        continue;
      }
      const Eigen::Vector3f p = base_from_cam *
        Eigen::Vector3f((u - camera.cx) * d / camera.fx, (v - camera.cy) * d / camera.fy, d);
      if (p.z() < 0.05F) {
        continue;
      }
      cloud.push_back(pcl::PointXYZ(p.x(), p.y(), p.z()));
      ids.push_back(rendering.ids.at<int>(v, u));
    }
  }
  return cloud;
}

Eigen::Isometry3f BaseFromCamera(float forward, float height, float tilt_down_rad)
{
  // Optical axes: z forward, x right, y down.
  Eigen::Matrix3f optical;
  optical << 0.0F, 0.0F, 1.0F,
    -1.0F, 0.0F, 0.0F,
    0.0F, -1.0F, 0.0F;
  Eigen::Isometry3f pose = Eigen::Isometry3f::Identity();
  pose.linear() = Eigen::AngleAxisf(tilt_down_rad, Eigen::Vector3f::UnitY()).toRotationMatrix() *
    optical;
  pose.translation() = Eigen::Vector3f(forward, 0.0F, height);
  return pose;
}

}  // namespace scene
