#include <exception>

#include <Eigen/Core>

#include "quorvane_object_detect/camera_config.hpp"
#include "quorvane_object_detect/depth_camera.hpp"
#include "quorvane_object_detect/logger.hpp"

namespace quorvane::camera_config
{

pelorin::perception::CloudClusterPara readCloudClusterFile(const std::string & path)
{
  const ConfigFile file("cluster file", path);
  pelorin::perception::CloudClusterPara para;
  para.grid_step = file.number({"cluster_grid_step"});
  para.grid_kernelSize = file.integer({"cluster_grid_kernelSize"});
  para.grid_th = file.integer({"cluster_grid_th"});
  return para;
}

YAML::Node detectorSection(const ConfigFile & file, int camera_id)
{
  YAML::Node root = file.root();
  if (root.IsDefined() && !root.IsNull() && !root.IsMap()) {
    file.fail("the top level is not a mapping");
  }
  // A missing section comes back as an undefined node.
  return root[cameraSection(camera_id)];
}

}  // namespace quorvane::camera_config

void DepthCamera::getPointCloudClusterPara()
{
  namespace config = quorvane::camera_config;
  const std::string path = config::packageConfigPath(
    config::readParameter<std::string>(*node_, "cluster_file", "point_cloud_cluster.yaml"));
  QLOG_INFO("cam_{0:d}:cluster_file = {1:s}", camera_id_, path);
  cloud_cluster_para_ = config::readCloudClusterFile(path);
  QLOG_INFO("cam_{0:d}_grid_step = {1:05.4f}", camera_id_, cloud_cluster_para_.grid_step);
  QLOG_INFO("cam_{0:d}_grid_kernelSize = {1:d}", camera_id_, cloud_cluster_para_.grid_kernelSize);
  QLOG_INFO("cam_{0:d}_grid_th = {1:d}", camera_id_, cloud_cluster_para_.grid_th);
}

void DepthCamera::initializeDynamicCloudDetector()
{
  namespace config = quorvane::camera_config;
  const config::ConfigFile file(
    "dynamic cloud detector file",
    config::packageConfigPath(config::readParameter<std::string>(
      *node_, "dynamic_cloud_detector_config", "default_params/dynamic_cloud_detector.yaml")));
  const YAML::Node section = config::detectorSection(file, camera_id_);
  try {
    dynamic_cloud_detector_ =
      std::make_shared<pelorin::perception::DynamicCloudDetector>(section);
  } catch (const std::exception & e) {
    file.fail("section \"" + config::cameraSection(camera_id_) + "\": " + e.what());
  }

  Eigen::Matrix3f intrinsic_matrix;
  intrinsic_matrix << intrinsics_[0], 0.0F, intrinsics_[2],
    0.0F, intrinsics_[1], intrinsics_[3],
    0.0F, 0.0F, 1.0F;
  if (!dynamic_cloud_detector_->Init(
      base_to_cam_matrix_, intrinsic_matrix, image_width_, image_height_, cloud_para_.depth_max))
  {
    // Without its geometry the detector reports no motion at all; say so.
    QLOG_WARN(
      "cam_{0:d} dynamic cloud detector rejected the camera geometry, no moving obstacles "
      "will be detected", camera_id_);
  }
}
