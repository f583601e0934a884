#include <string>

#include "quorvane_object_detect/depth_camera.hpp"

void DepthCamera::initializePublisher()
{
  QLOG_DEBUG("initialize Publisher start");
  const std::string prefix = "cam" + std::to_string(camera_id_) + "_";
  for (std::string * topic : {
      &data_status_topic_, &base_cloud_topic_, &obstacle_cloud_topic_, &ground_cloud_topic_,
      &cluster_cloud_topic_, &detect_bbox_image_topic_, &cloud_bbox_image_topic_,
      &detect_bbox_cloud_topic_, &class_cloud_info_topic_, &no_remove_ground_cloud_info_topic_,
      &ori_static_obstacle_cloud_topic_, &ori_dynamic_obstacle_cloud_topic_,
      &ori_stain_cloud_topic_, &static_obstacle_cloud_topic_, &dynamic_obstacle_cloud_topic_,
      &stain_cloud_topic_, &people_info_topic_, &web_trash_topic_,
      &dangerous_ori_region_cloud_topic_, &lethal_region_cloud_topic_,
      &dangerous_region_cloud_topic_, &lethal_region_sem_cloud_topic_,
      &dangerous_region_sem_cloud_topic_, &dangerous_region_map_image_topic_,
      &dangerous_region_map_dilate_image_topic_, &lethal_region_map_dilate_image_topic_,
      &dangerous_region_erode_image_topic_, &dangerous_region_odom_cloud_topic_,
      &dangerous_region_base_cloud_topic_})
  {
    *topic = prefix + *topic;
  }

  using sensor_msgs::msg::Image;
  using sensor_msgs::msg::PointCloud2;
  using quorvane_protocol::msg::ObjectList;
  using quorvane_protocol::msg::SemanticPointCloud;
  const rclcpp::QoS qos(1);
  data_status_pub_ = node_->create_publisher<std_msgs::msg::Bool>(data_status_topic_, qos);
  base_cloud_pub_ = node_->create_publisher<PointCloud2>(base_cloud_topic_, qos);
  obstacle_cloud_pub_ = node_->create_publisher<PointCloud2>(obstacle_cloud_topic_, qos);
  ground_cloud_pub_ = node_->create_publisher<PointCloud2>(ground_cloud_topic_, qos);
  cluster_cloud_pub_ = node_->create_publisher<PointCloud2>(cluster_cloud_topic_, qos);
  detect_bbox_image_pub_ = node_->create_publisher<Image>(detect_bbox_image_topic_, qos);
  cloud_bbox_image_pub_ = node_->create_publisher<Image>(cloud_bbox_image_topic_, qos);
  detect_bbox_cloud_pub_ = node_->create_publisher<PointCloud2>(detect_bbox_cloud_topic_, qos);
  class_cloud_info_pub_ = node_->create_publisher<PointCloud2>(class_cloud_info_topic_, qos);
  no_remove_ground_cloud_info_pub_ =
    node_->create_publisher<PointCloud2>(no_remove_ground_cloud_info_topic_, qos);
  ori_static_obstacle_cloud_pub_ =
    node_->create_publisher<PointCloud2>(ori_static_obstacle_cloud_topic_, qos);
  ori_dynamic_obstacle_cloud_pub_ =
    node_->create_publisher<PointCloud2>(ori_dynamic_obstacle_cloud_topic_, qos);
  ori_stain_cloud_pub_ = node_->create_publisher<PointCloud2>(ori_stain_cloud_topic_, qos);
  static_obstacle_cloud_pub_ =
    node_->create_publisher<SemanticPointCloud>(static_obstacle_cloud_topic_, qos);
  dynamic_obstacle_cloud_pub_ =
    node_->create_publisher<SemanticPointCloud>(dynamic_obstacle_cloud_topic_, qos);
  stain_cloud_pub_ = node_->create_publisher<SemanticPointCloud>(stain_cloud_topic_, qos);
  people_info_pub_ = node_->create_publisher<ObjectList>(people_info_topic_, qos);
  web_trash_pub_ =
    node_->create_publisher<quorvane_protocol::msg::Trashes>(web_trash_topic_, qos);
  // Shared topic: every camera has its own publisher on it.
  robot_event_pub_ =
    node_->create_publisher<quorvane_protocol::msg::RobotEvent>(robot_event_topic_, qos);
  objects_rgbd_pub_ =
    node_->create_publisher<ObjectList>("/objects_rgbd_" + std::to_string(camera_id_), qos);
  if (camera_id_ == 2) {
    // Camera 2 also serves the colour-camera object list.
    objects_rgb_pub_ = node_->create_publisher<ObjectList>("/objects_rgb", qos);
  }
  dangerous_ori_region_cloud_pub_ =
    node_->create_publisher<PointCloud2>(dangerous_ori_region_cloud_topic_, qos);
  lethal_region_cloud_pub_ = node_->create_publisher<PointCloud2>(lethal_region_cloud_topic_, qos);
  dangerous_region_cloud_pub_ =
    node_->create_publisher<PointCloud2>(dangerous_region_cloud_topic_, qos);
  lethal_region_sem_cloud_pub_ =
    node_->create_publisher<SemanticPointCloud>(lethal_region_sem_cloud_topic_, qos);
  dangerous_region_sem_cloud_pub_ =
    node_->create_publisher<SemanticPointCloud>(dangerous_region_sem_cloud_topic_, qos);
  dangerous_region_map_image_pub_ =
    node_->create_publisher<Image>(dangerous_region_map_image_topic_, qos);
  dangerous_region_map_dilate_image_pub_ =
    node_->create_publisher<Image>(dangerous_region_map_dilate_image_topic_, qos);
  lethal_region_map_dilate_image_pub_ =
    node_->create_publisher<Image>(lethal_region_map_dilate_image_topic_, qos);
  exception_handle_pub_ = node_->create_publisher<quorvane_protocol::msg::ExceptionHandle>(
    "exception_handle", qos);
  ground_line_pub_ =
    node_->create_publisher<visualization_msgs::msg::MarkerArray>(prefix + "ground_line", qos);
  outlier_points_pub_ = node_->create_publisher<PointCloud2>(prefix + "outlier_points", qos);
  dangerous_region_erode_image_pub_ =
    node_->create_publisher<Image>(dangerous_region_erode_image_topic_, qos);
  dangerous_region_odom_cloud_pub_ =
    node_->create_publisher<PointCloud2>(dangerous_region_odom_cloud_topic_, qos);
  dangerous_region_base_cloud_pub_ =
    node_->create_publisher<PointCloud2>(dangerous_region_base_cloud_topic_, qos);
  QLOG_DEBUG("initialize Publisher end");
}
