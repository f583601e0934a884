#pragma once

#include <array>
#include <vector>

#include <opencv2/core.hpp>

#include "quorvane_object_detect/cloud.hpp"

// A detection mask grown by the labelling's 11 x 11 dilation, kept only over
// `area`, the part of the image where it may be set (empty when nothing is):
// image-sized copies per detection would cost more than the labelling itself.
struct DilatedMask
{
  cv::Mat mask;  // area-sized
  cv::Rect area;
};

// One per detection.  The split dilates once per frame what the labelling
// would dilate once per tested cluster.
std::vector<DilatedMask> dilateDetectionMasks(
  const std::vector<BboxInfo> & detections, int width, int height);

// Cloud::cloudAssginLabel on masks dilated beforehand.
void assignClusterLabel(
  const CloudPara & para, const std::vector<BboxInfo> & detections,
  const std::vector<DilatedMask> & dilated, std::vector<bool> & used,
  const pcl::PointCloud<pcl::PointXYZ> & camera_cluster,
  const pcl::PointCloud<pcl::PointXYZ> & base_cluster, const std::array<float, 4> & intrinsics,
  int width, int height, std::vector<std::vector<CloudInfo>> & assigned,
  std::vector<CloudInfo> & unassigned);
