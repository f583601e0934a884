#ifndef TF2_SRC_RIGID_TRANSFORM_H_
#define TF2_SRC_RIGID_TRANSFORM_H_

#include <Eigen/Geometry>

namespace tf2
{
namespace detail
{

// Rotation plus translation, kept as a quaternion so that long chains stay orthonormal.
struct RigidTransform
{
  Eigen::Quaterniond rotation = Eigen::Quaterniond::Identity();
  Eigen::Vector3d translation = Eigen::Vector3d::Zero();

  // (this * other) applied to p equals this(other(p)).
  RigidTransform operator*(const RigidTransform & other) const
  {
    RigidTransform out;
    out.rotation = (rotation * other.rotation).normalized();
    out.translation = rotation * other.translation + translation;
    return out;
  }

  RigidTransform inverse() const
  {
    RigidTransform out;
    out.rotation = rotation.conjugate();
    out.translation = -(out.rotation * translation);
    return out;
  }

  // Linear in translation, spherical (shortest arc) in rotation.
  static RigidTransform interpolate(
    const RigidTransform & a, const RigidTransform & b, double ratio)
  {
    RigidTransform out;
    out.rotation = a.rotation.slerp(ratio, b.rotation).normalized();
    out.translation = a.translation + ratio * (b.translation - a.translation);
    return out;
  }
};

}  // namespace detail
}  // namespace tf2

#endif  // TF2_SRC_RIGID_TRANSFORM_H_
