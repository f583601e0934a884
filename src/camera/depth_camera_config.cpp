#include "quorvane_object_detect/camera_config.hpp"
#include "quorvane_object_detect/depth_camera.hpp"
#include "quorvane_object_detect/logger.hpp"
#include "quorvane_object_detect/semantic_type.hpp"

namespace quorvane::camera_config
{

namespace
{

// The echo belongs to the start-up step that reads the flat parameters.
constexpr const char * kEchoStep = "getConfigParameters";
constexpr auto kEcho = spdlog::level::info;

std::set<int> readClassList(
  const rclcpp_lifecycle::LifecycleNode & node, const std::string & key,
  const std::vector<std::string> & fallback)
{
  return parseClassList(readParameter(node, key, fallback));
}

}  // namespace

std::set<int> parseClassList(const std::vector<std::string> & names)
{
  std::set<int> classes;
  for (const auto & name : names) {
    int value = 0;
    if (semantic::ParseSemanticType(name, &value)) {
      classes.insert(value);
    }
  }
  return classes;
}

std::string classListText(const std::set<int> & classes)
{
  std::string text;
  for (const int value : classes) {
    text += semantic::SemanticTypeName(value) + ",";
  }
  return text;
}

FlatParameters readFlatParameters(const rclcpp_lifecycle::LifecycleNode & node)
{
  const FlatParameters d;  // the coded defaults
  FlatParameters p;
  p.debug = readParameter(node, "debug", d.debug);
  p.data_flow_trace = readParameter(node, "data_flow_trace", d.data_flow_trace);
  p.use_ai_thread = readParameter(node, "use_ai_thread", d.use_ai_thread);
  p.close_ai_detect = readParameter(node, "close_ai_detect", d.close_ai_detect);
  p.remove_ground_method = readParameter(node, "remove_ground_method", d.remove_ground_method);
  p.box_enlarge_size = readParameter(node, "box_enlarge_size", d.box_enlarge_size);
  p.depth_rgb_time_diff = readParameter(node, "depth_rgb_time_diff", d.depth_rgb_time_diff);
  p.depth_rgb_wait_time_ms =
    readParameter(node, "depth_rgb_wait_time_ms", d.depth_rgb_wait_time_ms);
  p.rgb_buffer_size = readParameter(node, "rgb_buffer_size", d.rgb_buffer_size);
  p.dangerous_sample_kernel_size =
    readParameter(node, "dangerous_sample_kernel_size", d.dangerous_sample_kernel_size);
  p.grid_width = readParameter(node, "gridWidth", d.grid_width);
  p.grid_height = readParameter(node, "gridHeight", d.grid_height);
  p.grid_resolution = readParameter(node, "gridResolution", d.grid_resolution);
  p.kernel_size = readParameter(node, "kernel_size", d.kernel_size);
  p.lethal_iter = readParameter(node, "lethal_iter", d.lethal_iter);
  p.dangerous_iter = readParameter(node, "dangerous_iter", d.dangerous_iter);
  p.dangerous_region_erode_kernel_size = readParameter(
    node, "dangerous_region_erode_kernel_size", d.dangerous_region_erode_kernel_size);
  p.statistics_dangerous_region_detect_status_num = readParameter(
    node, "statistics_dangerous_region_detect_status_num",
    d.statistics_dangerous_region_detect_status_num);
  p.dangerous_dilate_offset =
    readParameter(node, "dangerous_dilate_offset", d.dangerous_dilate_offset);
  p.lethal_dilate_offset = readParameter(node, "lethal_dilate_offset", d.lethal_dilate_offset);
  p.dangerous_class_type =
    readClassList(node, "dangerous_class_type", {"ESCALATOR_ENTRANCE"});
  p.no_remove_ground_class_type = readClassList(
    node, "no_remove_ground_class_type", {"BASE", "BLOOD", "CARPET", "MASK", "BOTTLE", "PAPER_CUP"});
  p.groud_stain_class_type = readClassList(node, "groud_stain_class_type", {"COFFEE", "MILK"});
  p.dynamic_obstacle_class_type = readClassList(node, "dynamic_obstacle_class_type", {"PERSON"});
  p.static_obstacle_class_type = readClassList(
    node, "static_obstacle_class_type", {"ESCALATOR_ENTRANCE", "WAITING_BENCH", "BASE"});
  CloudPara & c = p.cloud;
  c.cloud_x_leafSize = readParameter(node, "cloud_x_leafSize", d.cloud.cloud_x_leafSize);
  c.cloud_y_leafSize = readParameter(node, "cloud_y_leafSize", d.cloud.cloud_y_leafSize);
  c.cloud_z_leafSize = readParameter(node, "cloud_z_leafSize", d.cloud.cloud_z_leafSize);
  c.cloud_min_point = readParameter(node, "cloud_min_point", d.cloud.cloud_min_point);
  c.cloud_search_radius = readParameter(node, "cloud_search_radius", d.cloud.cloud_search_radius);
  c.cloud_point_num = readParameter(node, "cloud_point_num", d.cloud.cloud_point_num);
  c.cloud_x_split_distance =
    readParameter(node, "cloud_x_split_distance", d.cloud.cloud_x_split_distance);
  c.cloud_xyz_merge_distance =
    readParameter(node, "cloud_xyz_merge_distance", d.cloud.cloud_xyz_merge_distance);
  c.cloud_x_merge_distance =
    readParameter(node, "cloud_x_merge_distance", d.cloud.cloud_x_merge_distance);
  c.cloud_y_merge_distance =
    readParameter(node, "cloud_y_merge_distance", d.cloud.cloud_y_merge_distance);
  c.mask_iou_min = readParameter(node, "mask_iou_min", d.cloud.mask_iou_min);
  c.mask_iou_max = readParameter(node, "mask_iou_max", d.cloud.mask_iou_max);
  c.person_distance = readParameter(node, "person_distance", d.cloud.person_distance);
  c.obstacle_percent = readParameter(node, "obstacle_percent", d.cloud.obstacle_percent);
  c.person_percent = readParameter(node, "person_percent", d.cloud.person_percent);
  p.sample_kernel_size = readParameter(node, "sample_kernel_size", d.sample_kernel_size);
  p.trash_distance_threshold = readParameter(
    node, "trash_detection.trash_distance_threshold", d.trash_distance_threshold);
  p.robot_angular_threshold = readParameter(
    node, "trash_detection.robot_angular_threshold", d.robot_angular_threshold);
  p.bbox_edge_threshold =
    readParameter(node, "trash_detection.bbox_edge_threshold", d.bbox_edge_threshold);
  p.trash_class_type =
    readClassList(node, "trash_detection.trash_class_type", std::vector<std::string>{});
  return p;
}

void echoFlatParameters(
  int camera_id, const FlatParameters & p, float cam_base, bool dangerous_use_two_camera,
  float depth_max)
{
  const int id = camera_id;
  const CloudPara & c = p.cloud;
  QLOG_AS(kEchoStep, kEcho, "cam_{0:d}_debug = {1:d}", id, p.debug);
  QLOG_AS(kEchoStep, kEcho, "cam_{0:d}_use_ai_thread = {1:d}", id, p.use_ai_thread);
  QLOG_AS(kEchoStep, kEcho, "cam_{0:d}_cam_base = {1:05.4f}", id, cam_base);
  QLOG_AS(kEchoStep, kEcho, "cam_{0:d}_remove_ground_method = {1:d}", id, p.remove_ground_method);
  QLOG_AS(kEchoStep, kEcho, "cam_{0:d}_box_enlarge_size = {1:d}", id, p.box_enlarge_size);
  QLOG_AS(kEchoStep, kEcho, "cam_{0:d}_depth_rgb_time_diff = {1:05.4f}", id, p.depth_rgb_time_diff);
  QLOG_AS(kEchoStep, kEcho, "cam_{0:d}_depth_rgb_wait_time = {1:d}", id, p.depth_rgb_wait_time_ms);
  QLOG_AS(kEchoStep, kEcho, "cam_{0:d}_rgb_buffer_size = {1:d}", id, p.rgb_buffer_size);
  QLOG_AS(kEchoStep, kEcho, "cam_{0:d}_statistics_dangerous_region_detect_status_num = {1:d}", id,
    p.statistics_dangerous_region_detect_status_num);
  QLOG_AS(kEchoStep, kEcho, "cam_{0:d}_dangerous_region_erode_kernel_size = {1:d}", id,
    p.dangerous_region_erode_kernel_size);
  QLOG_AS(kEchoStep, kEcho, "cam_{0:d}_dangerous_dilate_offset = {1:05.4f}", id,
    p.dangerous_dilate_offset);
  QLOG_AS(kEchoStep, kEcho, "cam_{0:d}_lethal_dilate_offset = {1:05.4f}", id,
    p.lethal_dilate_offset);
  QLOG_AS(kEchoStep, kEcho, "cam_{0:d}_dangerous_sample_kernel_size = {1:d}", id,
    p.dangerous_sample_kernel_size);
  QLOG_AS(kEchoStep, kEcho, "cam_{0:d}_gridWidth = {1:d}", id, p.grid_width);
  QLOG_AS(kEchoStep, kEcho, "cam_{0:d}_gridHeight = {1:d}", id, p.grid_height);
  QLOG_AS(kEchoStep, kEcho, "cam_{0:d}_gridResolution = {1:05.4f}", id, p.grid_resolution);
  QLOG_AS(kEchoStep, kEcho, "cam_{0:d}_kernel_size = {1:d}", id, p.kernel_size);
  QLOG_AS(kEchoStep, kEcho, "cam_{0:d}_lethal_iter = {1:d}", id, p.lethal_iter);
  QLOG_AS(kEchoStep, kEcho, "cam_{0:d}_dangerous_iter = {1:d}", id, p.dangerous_iter);
  QLOG_AS(kEchoStep, kEcho, "cam_{0:d}_dangerous_use_two_camera = {1:d}", id,
    dangerous_use_two_camera);
  // Class names go in as an argument, never as format text.
  QLOG_AS(kEchoStep, kEcho, "cam_{0:d}_dangerous_class_id = [{1}]", id,
    classListText(p.dangerous_class_type));
  QLOG_AS(kEchoStep, kEcho, "cam_{0:d}_cloud_x_leafSize = {1:05.4f}", id, c.cloud_x_leafSize);
  QLOG_AS(kEchoStep, kEcho, "cam_{0:d}_cloud_y_leafSize = {1:05.4f}", id, c.cloud_y_leafSize);
  QLOG_AS(kEchoStep, kEcho, "cam_{0:d}_cloud_z_leafSize = {1:05.4f}", id, c.cloud_z_leafSize);
  QLOG_AS(kEchoStep, kEcho, "cam_{0:d}_cloud_min_point = {1:d}", id, c.cloud_min_point);
  QLOG_AS(kEchoStep, kEcho, "cam_{0:d}_cloud_search_radius = {1:05.4f}", id, c.cloud_search_radius);
  QLOG_AS(kEchoStep, kEcho, "cam_{0:d}_cloud_point_num = {1:d}", id, c.cloud_point_num);
  QLOG_AS(kEchoStep, kEcho, "cam_{0:d}_cloud_x_split_distance = {1:05.4f}", id,
    c.cloud_x_split_distance);
  QLOG_AS(kEchoStep, kEcho, "cam_{0:d}_cloud_xyz_merge_distance = {1:05.4f}", id,
    c.cloud_xyz_merge_distance);
  QLOG_AS(kEchoStep, kEcho, "cam_{0:d}_cloud_x_merge_distance = {1:05.4f}", id,
    c.cloud_x_merge_distance);
  QLOG_AS(kEchoStep, kEcho, "cam_{0:d}_cloud_mask_iou_min = {1:05.4f}", id, c.mask_iou_min);
  QLOG_AS(kEchoStep, kEcho, "cam_{0:d}_cloud_mask_iou_max = {1:05.4f}", id, c.mask_iou_max);
  QLOG_AS(kEchoStep, kEcho, "cam_{0:d}_person_distance = {1:05.4f}", id, c.person_distance);
  QLOG_AS(kEchoStep, kEcho, "cam_{0:d}_depth_max = {1:05.4f}", id, depth_max);
  QLOG_AS(kEchoStep, kEcho, "cam_{0:d}_obstacle_percent = {1:05.4f}", id, c.obstacle_percent);
  QLOG_AS(kEchoStep, kEcho, "cam_{0:d}_person_percent = {1:05.4f}", id, c.person_percent);
  QLOG_AS(kEchoStep, kEcho, "cam_{0:d}_trash_distance_threshold = {1:05.4f}", id,
    p.trash_distance_threshold);
  QLOG_AS(kEchoStep, kEcho, "cam_{0:d}_robot_angular_threshold = {1:05.4f}", id,
    p.robot_angular_threshold);
  QLOG_AS(kEchoStep, kEcho, "cam_{0:d}_bbox_edge_threshold = {1:d}", id, p.bbox_edge_threshold);
  QLOG_AS(kEchoStep, kEcho, "cam_{0:d}_trash_class_id = [{1}]", id,
    classListText(p.trash_class_type));
  QLOG_AS(kEchoStep, kEcho, "cam_{0:d}_dynamic_class_type = [{1}]", id,
    classListText(p.dynamic_obstacle_class_type));
  QLOG_AS(kEchoStep, kEcho, "cam_{0:d}_static_class_type = [{1}]", id,
    classListText(p.static_obstacle_class_type));
}

}  // namespace quorvane::camera_config

void DepthCamera::getConfigParameters()
{
  namespace config = quorvane::camera_config;
  const config::FlatParameters p = config::readFlatParameters(*node_);
  debug_ = p.debug;
  data_flow_trace_ = p.data_flow_trace;
  use_ai_thread_ = p.use_ai_thread;
  close_ai_detect_ = p.close_ai_detect;
  remove_ground_method_ = p.remove_ground_method;
  box_enlarge_size_ = p.box_enlarge_size;
  depth_rgb_time_diff_ = p.depth_rgb_time_diff;
  depth_rgb_wait_time_ms_ = p.depth_rgb_wait_time_ms;
  rgb_buffer_size_ = p.rgb_buffer_size;
  dangerous_sample_kernel_size_ = p.dangerous_sample_kernel_size;
  grid_width_ = p.grid_width;
  grid_height_ = p.grid_height;
  grid_resolution_ = p.grid_resolution;
  kernel_size_ = p.kernel_size;
  lethal_iter_ = p.lethal_iter;
  dangerous_iter_ = p.dangerous_iter;
  dangerous_region_erode_kernel_size_ = p.dangerous_region_erode_kernel_size;
  statistics_dangerous_region_detect_status_num_ = p.statistics_dangerous_region_detect_status_num;
  dangerous_dilate_offset_ = p.dangerous_dilate_offset;
  lethal_dilate_offset_ = p.lethal_dilate_offset;
  dangerous_class_type_ = p.dangerous_class_type;
  no_remove_ground_class_type_ = p.no_remove_ground_class_type;
  groud_stain_class_type_ = p.groud_stain_class_type;
  dynamic_obstacle_class_type_ = p.dynamic_obstacle_class_type;
  static_obstacle_class_type_ = p.static_obstacle_class_type;
  // The maximum depth is the ground step's; keep the camera's own value.
  const float depth_max = cloud_para_.depth_max;
  cloud_para_ = p.cloud;
  cloud_para_.depth_max = depth_max;
  sample_kernel_size_ = p.sample_kernel_size;
  trash_distance_threshold_ = p.trash_distance_threshold;
  robot_angular_threshold_ = p.robot_angular_threshold;
  bbox_edge_threshold_ = p.bbox_edge_threshold;
  trash_class_type_ = p.trash_class_type;
  config::echoFlatParameters(
    camera_id_, p, cam_base_, dangerous_use_two_camera_, cloud_para_.depth_max);
}
