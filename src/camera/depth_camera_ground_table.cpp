#include "quorvane_object_detect/depth_camera.hpp"
#include "quorvane_object_detect/rgb_objects.hpp"

#include <Eigen/Geometry>
#include <Eigen/LU>

namespace
{

constexpr float kMissedFloor = 1000.0F;

}  // namespace

pelorin::perception::RgbDetector groundTable(
  const std::array<float, 4> & intrinsics, const Eigen::Matrix4f & cam_to_base, int width,
  int height)
{
  pelorin::perception::RgbDetector table;
  table.width = width;
  table.height = height;
  table.ground_height = kRgbGroundHeight;
  const Eigen::Index pixels = static_cast<Eigen::Index>(width) * height;

  // One pixel at a time: grids of every pixel's rays would hold four times
  // the table, and the table is as large as the camera info's image allows.
  Eigen::Matrix3f k;
  k << intrinsics[0], 0.0F, intrinsics[2], 0.0F, intrinsics[1], intrinsics[3], 0.0F, 0.0F, 1.0F;
  const Eigen::Matrix3f k_inverse = k.inverse();
  const Eigen::Vector3f origin = cam_to_base.block<3, 1>(0, 3);
  const Eigen::Matrix4f base_to_cam = cam_to_base.inverse();
  const float z0 = kRgbGroundHeight;
  table.ground_points.resize(3, pixels);
  for (int v = 0; v < height; ++v) {
    for (int u = 0; u < width; ++u) {
      // The point at depth 1 on the pixel's ray, in the base frame.
      const Eigen::Vector3f ray =
        k_inverse * Eigen::Vector3f(static_cast<float>(u), static_cast<float>(v), 1.0F);
      const Eigen::Vector4f base = cam_to_base * ray.homogeneous();
      // The ray from the camera through that point, carried down to the floor.
      const float drop = base.z() - origin.z();
      const float x = (base.x() - origin.x()) * (z0 - origin.z()) / drop + origin.x();
      const float y = (base.y() - origin.y()) * (z0 - origin.z()) / drop + origin.y();
      const Eigen::Vector4f in_camera = base_to_cam * Eigen::Vector4f(x, y, z0, 1.0F);
      const Eigen::Index i = static_cast<Eigen::Index>(v) * width + u;
      // Written so that a NaN depth also counts as a miss.
      if (in_camera.z() > 0.0F) {
        table.ground_points.col(i) << x, y, z0;
      } else {
        table.ground_points.col(i) << kMissedFloor, kMissedFloor, z0;
      }
    }
  }
  return table;
}

// The table of the camera's own image size: one fixed at 640 x 400 would put
// the feet seen by a taller or wider image on the wrong floor points.
void DepthCamera::buildGroundTable()
{
  const cv::Size size = cameraInfoImageSize();
  rgb_detector_ = std::make_shared<pelorin::perception::RgbDetector>(
    groundTable(intrinsics_, cam_to_base_matrix_, size.width, size.height));
}
