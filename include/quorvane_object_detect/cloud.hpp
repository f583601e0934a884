#pragma once

#include <cstdint>
#include <memory>

#include <pcl/point_cloud.h>
#include <pcl/point_types.h>

#include "pelorin/perception/cloud_cluster.hpp"
#include "pelorin/perception/remove_ground_line_fit.hpp"
#include "quorvane_object_detect/common.hpp"

// The cloud settings of one camera.
struct CloudPara
{
  float cloud_x_leafSize = 0.025F;
  float cloud_y_leafSize = 0.025F;
  float cloud_z_leafSize = 0.025F;
  int32_t cloud_min_point = 5;
  float cloud_search_radius = 0.01F;
  int32_t cloud_point_num = 10;
  float cloud_x_split_distance = 0.6F;
  float cloud_xyz_merge_distance = 0.3F;
  float cloud_x_merge_distance = 0.3F;
  float cloud_y_merge_distance = 0.3F;
  float mask_iou_min = 0.5F;
  float mask_iou_max = 0.5F;
  float person_distance = 2.0F;
  float depth_max = 0.45F;
  float obstacle_percent = 0.2F;
  float person_percent = 0.5F;
};
static_assert(sizeof(CloudPara) == 16 * 4, "CloudPara holds sixteen 4-byte values");

// One cluster with the detection it was assigned to.
struct CloudInfo
{
  pcl::PointCloud<pcl::PointXYZ> cloud;
  BboxInfo bbox;
  int32_t label = 1;
  bool has_bbox = false;
};

// Per-camera cloud processor: its settings and the clustering and
// ground-fitting objects it drives.
class Cloud
{
public:
  Cloud(
    const CloudPara & cloud_para,
    std::shared_ptr<pelorin::perception::CloudCluster> cloud_cluster,
    std::shared_ptr<pelorin::perception::RemoveGroundLineFit> remove_ground);

  CloudPara cloud_para_;
  std::shared_ptr<pelorin::perception::CloudCluster> cloud_cluster_;
  // Replaced by the depth callback when the ground parameters change.
  std::shared_ptr<pelorin::perception::RemoveGroundLineFit> remove_ground_;
};
