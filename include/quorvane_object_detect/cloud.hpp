#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include <Eigen/Core>
#include <pcl/point_cloud.h>
#include <pcl/point_types.h>

#include "pelorin/perception/cloud_cluster.hpp"
#include "pelorin/perception/remove_ground_line_fit.hpp"
#include "quorvane_object_detect/common.hpp"
#include "sensor_msgs/msg/image.hpp"

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

  // Projects the depth pixels of `region` (its box and, when set, its mask)
  // into `cloud`, in metres in the depth camera's optical frame: one point
  // per stride x stride block, the block's first pixel with a depth in
  // (0, depth_max).  "16UC1" and "mono16" are millimetres, other encodings
  // metres.  `intrinsics` are fx, fy, cx, cy.  The region is clipped to the
  // image and the mask is read only inside its own size; a stride below 1 is
  // taken as 1.  The cloud's header is left to the caller.  An image
  // cv_bridge cannot read raises cv_bridge::Exception.
  void depthToCloud(
    const sensor_msgs::msg::Image::ConstSharedPtr & depth, const std::array<float, 4> & intrinsics,
    const BboxInfo & region, const std::shared_ptr<pcl::PointCloud<pcl::PointXYZ>> & cloud,
    int stride) const;

  // Labels one base-frame cluster from the detection masks it projects onto
  // (`camera_cluster` holds the same points in the camera frame): the part
  // inside the first matching detection's mask goes to that detection in
  // `assigned`, the rest is matched again against the detections not yet
  // `used`; what matches nothing goes to `unassigned` with label 1.
  void cloudAssginLabel(
    const AiDetectResult & detections, std::vector<bool> & used,
    const pcl::PointCloud<pcl::PointXYZ> & camera_cluster,
    const pcl::PointCloud<pcl::PointXYZ> & base_cluster, const std::array<float, 4> & intrinsics,
    int width, int height, std::vector<std::vector<CloudInfo>> & assigned,
    std::vector<CloudInfo> & unassigned) const;

  // Labels every cluster and merges the parts of one detection; appends the
  // records to `out`: per detection, then the unassigned ones.
  void cloudDynamicStaticSplit(
    const std::vector<pcl::PointCloud<pcl::PointXYZ>> & clusters, const AiDetectResult & detections,
    const std::array<float, 4> & intrinsics, const Eigen::Matrix4f & base_to_cam, int width,
    int height, std::vector<CloudInfo> & out) const;

  CloudPara cloud_para_;
  std::shared_ptr<pelorin::perception::CloudCluster> cloud_cluster_;
  // Replaced by the depth callback when the ground parameters change.
  std::shared_ptr<pelorin::perception::RemoveGroundLineFit> remove_ground_;
};
