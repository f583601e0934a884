#include <cmath>
#include <iterator>

#include <pcl/common/centroid.h>
#include <pcl/common/transforms.h>

#include "cloud_labelling.hpp"
#include "quorvane_object_detect/logger.hpp"

namespace
{

using PointCloud = pcl::PointCloud<pcl::PointXYZ>;

float centroidX(const PointCloud & cloud)
{
  Eigen::Vector4f centroid = Eigen::Vector4f::Zero();
  pcl::compute3DCentroid(cloud, centroid);
  return centroid.x();
}

// One detection's parts become one record: the largest part (the earlier on
// a tie) with every part whose centroid lies within `x_merge_distance` of its
// own in x.  Parts farther away go first, as label-1 records without a box.
void mergeParts(
  std::vector<CloudInfo> & parts, float x_merge_distance, std::vector<CloudInfo> & out)
{
  if (parts.empty()) {
    return;
  }
  std::size_t main = 0;
  std::vector<float> x(parts.size());
  for (std::size_t j = 0; j < parts.size(); ++j) {
    x[j] = centroidX(parts[j].cloud);
    if (parts[j].cloud.size() > parts[main].cloud.size()) {
      main = j;
    }
  }
  CloudInfo & kept = parts[main];
  for (std::size_t j = 0; j < parts.size(); ++j) {
    if (j == main) {
      continue;
    }
    if (x_merge_distance > std::fabs(x[main] - x[j])) {
      kept.cloud += parts[j].cloud;
    } else {
      CloudInfo apart;
      apart.cloud = std::move(parts[j].cloud);
      out.push_back(std::move(apart));
    }
  }
  kept.has_bbox = true;
  out.push_back(std::move(kept));
}

}  // namespace

void Cloud::cloudDynamicStaticSplit(
  const std::vector<PointCloud> & clusters, const AiDetectResult & detections,
  const std::array<float, 4> & intrinsics, const Eigen::Matrix4f & base_to_cam, int width,
  int height, std::vector<CloudInfo> & out) const
{
  const std::vector<BboxInfo> & boxes = detections.bboxs_info;
  const std::vector<DilatedMask> dilated = dilateDetectionMasks(boxes, width, height);
  std::vector<std::vector<CloudInfo>> parts(boxes.size());
  std::vector<CloudInfo> unassigned;
  PointCloud camera_cluster;
  for (const PointCloud & cluster : clusters) {
    if (cluster.empty() || cluster.width == 0) {
      continue;
    }
    pcl::transformPointCloud(cluster, camera_cluster, base_to_cam);
    std::vector<bool> used(boxes.size(), false);
    assignClusterLabel(
      cloud_para_, boxes, dilated, used, camera_cluster, cluster, intrinsics, width, height, parts,
      unassigned);
  }
  std::vector<CloudInfo> merged;
  for (std::vector<CloudInfo> & detection_parts : parts) {
    mergeParts(detection_parts, cloud_para_.cloud_x_merge_distance, merged);
  }
  QLOG_AS(
    "cloudDynamicStaticSplit", spdlog::level::debug,
    "cloudDynamicStaticSplit bbox_cloud size = {}, other_cloud_info size={}", merged.size(),
    unassigned.size());
  out.insert(
    out.end(), std::make_move_iterator(merged.begin()), std::make_move_iterator(merged.end()));
  out.insert(
    out.end(), std::make_move_iterator(unassigned.begin()),
    std::make_move_iterator(unassigned.end()));
}
