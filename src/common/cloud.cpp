#include "quorvane_object_detect/cloud.hpp"

#include <utility>

Cloud::Cloud(
  const CloudPara & cloud_para,
  std::shared_ptr<pelorin::perception::CloudCluster> cloud_cluster,
  std::shared_ptr<pelorin::perception::RemoveGroundLineFit> remove_ground)
: cloud_para_(cloud_para),
  cloud_cluster_(std::move(cloud_cluster)),
  remove_ground_(std::move(remove_ground))
{
}
