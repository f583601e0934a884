#include "scene/cloud.hpp"

#include <cmath>
#include <unordered_map>

namespace scene
{

LabelledCloud depthCloud(const Frame & frame, const Camera & camera, int stride, float max_depth)
{
  const Intrinsics & k = camera.intrinsics;
  LabelledCloud out;
  for (int v = 0; v < frame.depth.rows; v += stride) {
    for (int u = 0; u < frame.depth.cols; u += stride) {
      const float d = frame.depth.at<float>(v, u);
      if (!(d > 0.0f && d < max_depth)) {continue;}
      out.cloud.push_back(pcl::PointXYZ((u - k.cx) * d / k.fx, (v - k.cy) * d / k.fy, d));
      out.labels.push_back(frame.ids.at<int32_t>(v, u));
    }
  }
  return out;
}

LabelledCloud voxelDownsample(const LabelledCloud & input, float leaf, int min_points)
{
  struct Voxel
  {
    Eigen::Vector3d sum = Eigen::Vector3d::Zero();
    int count = 0;
    int label = 0;
    bool mixed = false;
  };
  std::unordered_map<uint64_t, Voxel> voxels;
  std::vector<uint64_t> order;
  const auto cell = [leaf](float v) {
      return static_cast<uint64_t>(static_cast<int64_t>(std::floor(v / leaf)) + (1 << 20)) & 0x1fffff;
    };
  for (std::size_t i = 0; i < input.cloud.size(); ++i) {
    const pcl::PointXYZ & p = input.cloud.points[i];
    const uint64_t key = (cell(p.x) << 42) | (cell(p.y) << 21) | cell(p.z);
    auto [it, inserted] = voxels.try_emplace(key);
    Voxel & voxel = it->second;
    if (inserted) {
      order.push_back(key);
      voxel.label = input.labels[i];
    }
    voxel.mixed = voxel.mixed || voxel.label != input.labels[i];
    voxel.sum += Eigen::Vector3d(p.x, p.y, p.z);
    ++voxel.count;
  }
  LabelledCloud out;
  for (const uint64_t key : order) {
    const Voxel & voxel = voxels[key];
    if (voxel.count < min_points) {continue;}
    const Eigen::Vector3d c = voxel.sum / voxel.count;
    out.cloud.push_back(pcl::PointXYZ(static_cast<float>(c.x()), static_cast<float>(c.y()),
      static_cast<float>(c.z())));
    out.labels.push_back(voxel.mixed ? kMixed : voxel.label);
  }
  return out;
}

LabelledCloud transformed(LabelledCloud input, const Eigen::Isometry3f & pose)
{
  for (pcl::PointXYZ & p : input.cloud.points) {
    const Eigen::Vector3f q = pose * p.getVector3fMap();
    p = pcl::PointXYZ(q.x(), q.y(), q.z());
  }
  return input;
}

LabelledCloud keepAbove(const LabelledCloud & input, float z)
{
  LabelledCloud out;
  for (std::size_t i = 0; i < input.cloud.size(); ++i) {
    if (input.cloud.points[i].z >= z) {
      out.cloud.push_back(input.cloud.points[i]);
      out.labels.push_back(input.labels[i]);
    }
  }
  return out;
}

LabelledCloud baseFrameCloud(const Frame & frame, const Camera & camera, int stride, float leaf)
{
  return transformed(voxelDownsample(depthCloud(frame, camera, stride), leaf, 1),
           camera.base_from_optical);
}

}  // namespace scene
