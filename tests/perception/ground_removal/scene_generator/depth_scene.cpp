#include "depth_scene.hpp"

#include <cmath>
#include <limits>
#include <random>
#include <unordered_map>

namespace ground_scene {
namespace {

constexpr float kNoHit = std::numeric_limits<float>::infinity();

// Ray parameter of the first hit of origin + t * dir on the box, or kNoHit.
float hitBox(const Box& box, const Eigen::Vector3f& origin, const Eigen::Vector3f& dir) {
  const float lo[3] = {box.x_min, box.y_min, 0.0f};
  const float hi[3] = {box.x_max, box.y_max, box.height};
  float t_near = 0.0f;
  float t_far = kNoHit;
  for (int a = 0; a < 3; ++a) {
    if (std::fabs(dir[a]) < 1e-9f) {
      if (origin[a] < lo[a] || origin[a] > hi[a]) {
        return kNoHit;
      }
      continue;
    }
    float t0 = (lo[a] - origin[a]) / dir[a];
    float t1 = (hi[a] - origin[a]) / dir[a];
    if (t0 > t1) {
      std::swap(t0, t1);
    }
    t_near = std::max(t_near, t0);
    t_far = std::min(t_far, t1);
    if (t_near > t_far) {
      return kNoHit;
    }
  }
  return t_near > 0.0f ? t_near : kNoHit;
}

// Ray parameter where the ray meets the floor (flat part or ramp).
float hitFloor(const Ramp& ramp, const Eigen::Vector3f& origin, const Eigen::Vector3f& dir,
               int& label) {
  float best = kNoHit;
  if (dir.z() < 0.0f) {
    const float t = -origin.z() / dir.z();
    if (!ramp.present || origin.x() + t * dir.x() < ramp.x_start) {
      best = t;
      label = kFloor;
    }
  }
  if (ramp.present) {
    // z = k (x - x_start)  <=>  k x - z - k x_start = 0
    const float k = std::tan(ramp.angle);
    const float denominator = k * dir.x() - dir.z();
    if (std::fabs(denominator) > 1e-9f) {
      const float t = -(k * origin.x() - origin.z() - k * ramp.x_start) / denominator;
      if (t > 0.0f && origin.x() + t * dir.x() >= ramp.x_start && t < best) {
        best = t;
        label = kRamp;
      }
    }
  }
  return best;
}

}  // namespace

Eigen::Affine3f cameraToBase(const Camera& camera) {
  const float c = std::cos(camera.pitch);
  const float s = std::sin(camera.pitch);
  const Eigen::Vector3f forward(c, 0.0f, -s);
  const Eigen::Vector3f right(0.0f, -1.0f, 0.0f);
  const Eigen::Vector3f down = forward.cross(right);
  Eigen::Matrix3f rotation;
  rotation.col(0) = right;
  rotation.col(1) = down;
  rotation.col(2) = forward;
  Eigen::Affine3f pose = Eigen::Affine3f::Identity();
  pose.linear() = rotation;
  pose.translation() = Eigen::Vector3f(camera.x, 0.0f, camera.mount_height);
  return pose;
}

LabelledCloud renderDepthCloud(const Scene& scene, const Camera& camera, uint32_t seed) {
  std::mt19937 rng(seed);
  std::normal_distribution<float> noise(0.0f, camera.depth_noise);
  const Eigen::Affine3f pose = cameraToBase(camera);
  const Eigen::Vector3f origin = pose.translation();
  LabelledCloud out;
  for (int v = 0; v < camera.height; v += camera.stride) {
    for (int u = 0; u < camera.width; u += camera.stride) {
      // Ray with unit optical depth, so its parameter is the pixel's depth.
      const Eigen::Vector3f ray_cam((u - camera.cx) / camera.fx, (v - camera.cy) / camera.fy, 1.0f);
      const Eigen::Vector3f dir = pose.linear() * ray_cam;
      int label = -1;
      float depth = hitFloor(scene.ramp, origin, dir, label);
      for (std::size_t b = 0; b < scene.boxes.size(); ++b) {
        const float t = hitBox(scene.boxes[b], origin, dir);
        if (t < depth) {
          depth = t;
          label = kFirstBox + static_cast<int>(b);
        }
      }
      if (!(depth < camera.max_depth)) {
        continue;
      }
      const float measured = depth + noise(rng);
      if (!(measured > 0.0f && measured < camera.max_depth)) {
        continue;
      }
      const Eigen::Vector3f p = ray_cam * measured;
      out.cloud.push_back(pcl::PointXYZ(p.x(), p.y(), p.z()));
      out.labels.push_back(label);
    }
  }
  return out;
}

LabelledCloud voxelDownsample(const LabelledCloud& input, float leaf, int min_points) {
  struct Voxel {
    Eigen::Vector3d sum = Eigen::Vector3d::Zero();
    int count = 0;
    std::unordered_map<int, int> votes;
    std::size_t order = 0;
  };
  std::unordered_map<uint64_t, Voxel> voxels;
  std::vector<uint64_t> order;
  for (std::size_t i = 0; i < input.cloud.size(); ++i) {
    const pcl::PointXYZ& p = input.cloud.points[i];
    const auto cell = [leaf](float v) {
      return static_cast<uint64_t>(static_cast<int64_t>(std::floor(v / leaf)) + (1 << 20)) & 0x1fffff;
    };
    const uint64_t key = (cell(p.x) << 42) | (cell(p.y) << 21) | cell(p.z);
    auto [it, inserted] = voxels.try_emplace(key);
    if (inserted) {
      order.push_back(key);
    }
    it->second.sum += Eigen::Vector3d(p.x, p.y, p.z);
    ++it->second.count;
    ++it->second.votes[input.labels[i]];
  }
  LabelledCloud out;
  for (const uint64_t key : order) {
    const Voxel& voxel = voxels[key];
    if (voxel.count < min_points) {
      continue;
    }
    const Eigen::Vector3d c = voxel.sum / voxel.count;
    const int label = voxel.votes.size() == 1 ? voxel.votes.begin()->first : kMixed;
    out.cloud.push_back(pcl::PointXYZ(static_cast<float>(c.x()), static_cast<float>(c.y()),
                                      static_cast<float>(c.z())));
    out.labels.push_back(label);
  }
  return out;
}

LabelledCloud baseFrameCloud(const Scene& scene, const Camera& camera, uint32_t seed, float leaf) {
  LabelledCloud sampled = voxelDownsample(renderDepthCloud(scene, camera, seed), leaf, 1);
  const Eigen::Affine3f pose = cameraToBase(camera);
  for (pcl::PointXYZ& p : sampled.cloud.points) {
    const Eigen::Vector3f b = pose * Eigen::Vector3f(p.x, p.y, p.z);
    p = pcl::PointXYZ(b.x(), b.y(), b.z());
  }
  return sampled;
}

Scene clutteredRoom() {
  Scene scene;
  scene.boxes = {
      {0.80f, 0.95f, -0.45f, -0.30f, 0.03f},  // 3 cm
      {1.00f, 1.15f, 0.30f, 0.45f, 0.05f},    // 5 cm
      {1.30f, 1.50f, -0.20f, 0.00f, 0.10f},   // 10 cm
      {1.60f, 1.80f, 0.50f, 0.70f, 0.20f},    // 20 cm
      {1.20f, 1.40f, -0.80f, -0.60f, 0.40f},  // 40 cm
      {1.70f, 1.95f, -0.55f, -0.30f, 0.60f},  // 60 cm
      {1.50f, 1.75f, 0.05f, 0.45f, 1.75f},    // a person
      {0.50f, 0.56f, 0.10f, 0.16f, 0.04f},    // clutter near the robot
      {0.55f, 0.60f, -0.20f, -0.12f, 0.06f},
      {0.62f, 0.70f, 0.30f, 0.36f, 0.08f},
  };
  return scene;
}

Scene rampAhead() {
  Scene scene;
  scene.ramp = {true, 1.0f, 0.15f};
  scene.boxes = {
      {0.60f, 0.75f, -0.30f, -0.15f, 0.05f},
      {0.70f, 0.85f, 0.20f, 0.40f, 0.15f},
  };
  return scene;
}

pelorin::perception::GroundRemovalParams groundParamsFor(const Camera& camera) {
  pelorin::perception::GroundRemovalParams p;
  p.segmentation_angular_resolution = 0.1f;
  p.point_cloud_max_range = camera.max_depth;
  p.point_cloud_min_range = 0.45f;
  p.segmentation_bin_len = 0.05f;
  p.cam_height = camera.mount_height;
  p.max_lsq_residual = 0.01f;
  p.min_slope = 0.0f;
  p.max_slope = 0.2f;
  p.max_height_diff_for_start_up = 0.05f;
  p.max_height_diff_for_start_down = 0.13f;
  p.max_dist_point_groundline = 0.02f;
  p.long_threshold = 0.3f;
  p.max_height_diff_for_front = 0.02f;
  p.x_distance_need_preprocess = 1.0f;
  p.z_distance_need_remove = 0.05f;
  p.max_obstacle_height = 0.666f;
  p.diluting_threshold = 0.0f;
  p.noise_nsigma = 4.0f;
  return p;
}

}  // namespace ground_scene
