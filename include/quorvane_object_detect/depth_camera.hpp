#pragma once

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include <Eigen/Core>
#include <opencv2/core.hpp>
#include <pcl/point_cloud.h>
#include <pcl/point_types.h>

#include "geometry_msgs/msg/twist.hpp"
#include "pelorin/model/yolov8_seg.hpp"
#include "pelorin/perception/dynamic_cloud_detector.hpp"
#include "pelorin/perception/object_info.hpp"
#include "pelorin/perception/records.hpp"
#include "pelorin/perception/trash_tracker.hpp"
#include "pelorin/perception/voxel_grid_filter.hpp"
#include "quorvane_object_detect/cloud.hpp"
#include "quorvane_object_detect/common.hpp"
#include "quorvane_object_detect/frame_context.hpp"
#include "quorvane_protocol/msg/exception_handle.hpp"
#include "quorvane_protocol/msg/object_list.hpp"
#include "quorvane_protocol/msg/robot_event.hpp"
#include "quorvane_protocol/msg/semantic_point_cloud.hpp"
#include "quorvane_protocol/msg/task_center_fsm_status.hpp"
#include "quorvane_protocol/msg/trashes.hpp"
#include "rcl_interfaces/msg/set_parameters_result.hpp"
#include "rclcpp/rclcpp.hpp"
#include "rclcpp_lifecycle/lifecycle_node.hpp"
#include "sensor_msgs/msg/camera_info.hpp"
#include "sensor_msgs/msg/image.hpp"
#include "sensor_msgs/msg/point_cloud2.hpp"
#include "std_msgs/msg/bool.hpp"
#include "tf2_ros/buffer.h"
#include "tf2_ros/transform_listener.h"
#include "visualization_msgs/msg/marker_array.hpp"

namespace semantic
{
struct AiConfig;
}  // namespace semantic

// Thrown by the DepthCamera constructor when ROS 2 shuts down while the camera
// still waits for its camera info: start-up ends without an error.
class StartUpInterrupted : public std::runtime_error
{
public:
  using std::runtime_error::runtime_error;
};

// One RGB-D camera: its settings, ROS 2 entities, input queues, processing
// objects, transforms and the hand-over records of its worker threads.
class DepthCamera
{
public:
  struct AiThreadInputPara
  {
    cv::Mat rgb;
    AiDetectResult result;
  };

  struct DangerousThreadInputPara
  {
    std::shared_ptr<pcl::PointCloud<pcl::PointXYZ>> source_cloud;
    std::shared_ptr<pcl::PointCloud<pcl::PointXYZ>> region_cloud;
    float dilate_offset = 0.0F;
    double stamp = 0.0;
    bool has_bbox = false;
    int32_t label = 1;
  };

  struct TrashThreadInputPara
  {
    std::shared_ptr<const sensor_msgs::msg::Image> depth;
    cv::Mat rgb;
    std::vector<BboxInfo> bboxs_info;
    double stamp = 0.0;
  };

  // Returns once the camera runs: configuration read, intrinsics and pose on
  // the robot known, worker threads, subscriptions and publishers in place.
  DepthCamera(
    std::shared_ptr<rclcpp_lifecycle::LifecycleNode> node, int camera_id,
    const std::string & depth_topic, const std::string & rgb_topic,
    const std::string & camera_info_topic,
    std::shared_ptr<pelorin::perception::TrashTracker> trash_tracker);
  ~DepthCamera();

  DepthCamera(const DepthCamera &) = delete;
  DepthCamera & operator=(const DepthCamera &) = delete;

  // Switched by the node's activate and deactivate transitions.
  void setActive(bool active) {active_.store(active);}
  bool isActive() const {return active_.load();}
  bool isHibernating() const {return hibernate_.load();}

  // Wakes every worker thread with the stop flag and joins it.  Idempotent;
  // the camera's callbacks must not run any more (the executor has stopped).
  void stopWorkers();

  int cameraId() const {return camera_id_;}
  const std::array<float, 4> & intrinsics() const {return intrinsics_;}
  int imageWidth() const {return image_width_;}
  int imageHeight() const {return image_height_;}
  const Eigen::Matrix4f & camToBaseMatrix() const {return cam_to_base_matrix_;}
  const Eigen::Matrix4f & baseToCamMatrix() const {return base_to_cam_matrix_;}
  std::size_t rgbQueueSize() const;
  std::size_t depthQueueSize() const;
  bool hasTrashThread() const {return trash_thread_.joinable();}
  // Frames the trash thread has finished, whatever became of them.
  std::size_t trashFramesDone() const {return trash_frames_done_.load();}
  bool hasAiThread() const {return ai_thread_.joinable();}
  bool hasDangerousThread() const {return dangerous_thread_.joinable();}
  // Depth frames the callback has finished, whatever became of them.
  std::size_t framesDone() const {return frames_done_.load();}
  // Colour images the callback has finished, queued or refused.
  std::size_t rgbImagesDone() const {return rgb_images_done_.load();}
  // The detector is not thread-safe: use it only while no depth frame comes in.
  pelorin::perception::DynamicCloudDetector & dynamicCloudDetector()
  {return *dynamic_cloud_detector_;}
  bool groundFitUpdatePending() const;

  // Intrinsics, image size and pose in the base frame from one camera-info
  // message (waits up to 10 s) and tf2 (waits up to 0.5 s).
  bool get_cam_para(const std::string & camera_info_topic);
  // Transform taking points from `source` into `target` at `time`; false and
  // `matrix` untouched when tf2 does not know it within 0.5 s.
  bool getTransformMatrix(
    const std::string & target, const std::string & source, const rclcpp::Time & time,
    Eigen::Matrix4f & matrix);

private:
  // True when tf2 has ever connected `source` to `target`; asked without
  // waiting, since a wait for a frame nobody sends never ends on a stopped
  // clock.  Otherwise one WARN a minute for site `report_key` names the
  // missing transform and what `stopped`.
  bool tf2Connects(
    const std::string & target, const std::string & source, int report_key, const char * stopped);
  // The image size the camera info gave, for which the intrinsics hold; a
  // camera info without one is taken for the robot's stock 640 x 400 camera.
  cv::Size cameraInfoImageSize() const;

  // Configuration readers.
  void getConfigParameters();
  void getRemoveGroundPara();
  void getGroundHeightPara();
  void getPointCloudClusterPara();
  void initializeAi();
  void initializeDynamicCloudDetector();
  rcl_interfaces::msg::SetParametersResult dynamicParametersCallback(
    std::vector<rclcpp::Parameter> parameters);
  // Makes the staged ground change the camera's once the node holds its
  // values; with `batch_over` (no set in progress) drops one it does not.
  // Takes ground_fit_mutex_ itself, never while reading the node.
  void settleGroundChange(bool batch_over);

  // Inputs and sensor health.
  void initializeSubscriber(const std::string & depth_topic, const std::string & rgb_topic);
  void rgbCallback(const sensor_msgs::msg::Image::ConstSharedPtr & msg);
  void queueRgb(const sensor_msgs::msg::Image::ConstSharedPtr & msg);
  void callback(const sensor_msgs::msg::Image::ConstSharedPtr & msg);
  void fsmStatusCallback(std::shared_ptr<const quorvane_protocol::msg::TaskCenterFsmStatus> msg);
  void sensorCheckCallback();
  // Reports stale, empty and unreadable images; false for an image no stage
  // may read: unreadable, without pixels, or a depth image of more than one
  // channel or not of the camera info's size (its report is the frame's one line).
  bool checkData(const sensor_msgs::msg::Image::ConstSharedPtr & msg, int kind);
  void checkQueue(
    const std::deque<std::shared_ptr<const sensor_msgs::msg::Image>> & queue, const char * kind,
    double now, int rate_key, int stale_key);
  // True when the report site `key` may report at `now`; records the report.
  bool claimReport(int key, double now);
  void sendErrorCode(int code);

  void initializePublisher();

  // The frame pipeline, stage by stage.
  bool takeIn(const sensor_msgs::msg::Image::ConstSharedPtr & msg);
  void pairAndProcess(FrameContext & frame);
  void searchRgb(FrameContext & frame);
  void logFrameEnd(const FrameContext & frame);
  void process(FrameContext & frame);
  void rebuildGroundFit();
  void convertRgb(FrameContext & frame);
  void aiStage(FrameContext & frame);
  void postToAiThread(const cv::Mat & rgb, double stamp);
  void takeAiThreadResult(AiDetectResult & result);
  void aiInference(const cv::Mat & image, AiDetectResult & result);
  bool geometricChain(FrameContext & frame);
  void refreshCameraFrame(const pcl::PointCloud<pcl::PointXYZ> & base);
  void publishChainDebugClouds(const FrameContext & frame);
  void publishClusterCloud(const FrameContext & frame);
  void dynamicDetectorStage(const FrameContext & frame);
  void publishGroundLineMarkers();
  // The detection image of a frame with a colour image, and camera 2's
  // colour-camera object list of every frame.
  void publishDetectionImage(const FrameContext & frame);
  void publishRgbObjects(const FrameContext & frame);
  // Camera 2's floor point of every colour pixel, for placing people.
  void buildGroundTable();
  void logStageTimes(const FrameContext & frame);
  // Box split: the ground-plane detections, and the per-box clouds of the
  // classes kept out of ground removal and of the escalator entrances.
  void splitBoxes(FrameContext & frame);
  bool getCloudBeforeGoundRemoval(
    const sensor_msgs::msg::Image::ConstSharedPtr & depth, cv::Mat image, BboxInfo & box,
    CloudInfo & info);
  // Labels the clusters, sorts them into static, dynamic and stain clouds and
  // publishes them with the object lists.  `class_cloud_info` holds the
  // kept-ground records on entry.
  void pointCloudAssignLable(
    const std::vector<pcl::PointCloud<pcl::PointXYZ>> & clusters,
    const AiDetectResult & ground_plane, std::vector<CloudInfo> & class_cloud_info, double time);
  void publishSemanticPointCloud(
    const std::vector<CloudInfo> & records,
    const rclcpp::Publisher<quorvane_protocol::msg::SemanticPointCloud>::SharedPtr & semantic_pub,
    rclcpp::Publisher<sensor_msgs::msg::PointCloud2>::SharedPtr colour_pub, bool colour,
    double time);

  // Worker threads.
  void startWorkers();
  void trashDetectionCallback(TrashThreadInputPara * input);
  // Trash detection: the hand-off, one frame, one trash box.
  void offerToTrashThread(const FrameContext & frame);
  void trashFrame(TrashThreadInputPara & input);
  void placeTrash(
    const TrashThreadInputPara & input, const BboxInfo & box,
    const std::vector<BboxInfo> & base_or_waiting, const Eigen::Matrix4f & cam_to_map,
    std::vector<pelorin::perception::ObjectInfo> & tracked, bool & announced);
  void announceTrash(const pelorin::perception::ObjectInfo & trash, bool & announced);
  void dropTrashWithoutHeight(int32_t class_id);
  std::vector<float> ComputeWasteSize3D(
    const pcl::PointCloud<pcl::PointXYZ> & cloud, const Eigen::Matrix4f & cam_to_base);
  void dangerousMapCallback(
    DangerousThreadInputPara * lethal_input, DangerousThreadInputPara * dangerous_input);
  void publishDangerousRegions(
    DangerousThreadInputPara & lethal_input, DangerousThreadInputPara & dangerous_input);
  // Escalator stage: entrance history in "odom_fusion", carried into the
  // current base frame and handed to the region worker.
  void cloud_motion_compensation(FrameContext & frame);
  bool basePointCloudToOdomFusion(
    const pcl::PointCloud<pcl::PointXYZ>::Ptr & base_cloud,
    pcl::PointCloud<pcl::PointXYZ>::Ptr & odom_cloud, Eigen::Matrix4f & base_to_odom,
    double stamp);
  void handOverDangerousRegion(
    const pcl::PointCloud<pcl::PointXYZ>::Ptr & cloud, const CloudInfo & first, double stamp);
  void aiInferenceCallback(AiThreadInputPara * input);
  void registerWithTracker();
  void setUpAfterWorkers(const std::string & depth_topic, const std::string & rgb_topic);

  std::atomic<bool> active_{false};
  std::atomic<std::size_t> frames_done_{0};
  std::atomic<std::size_t> rgb_images_done_{0};
  // Set once at teardown; every worker loop also wakes on it.
  std::atomic<bool> stop_workers_{false};
  std::shared_ptr<pelorin::perception::TrashTracker> trash_tracker_;

  std::atomic<bool> trash_thread_idle_{true};
  std::mutex trash_mutex_;
  std::condition_variable trash_cv_;
  std::thread trash_thread_;
  TrashThreadInputPara trash_thread_input_;
  std::atomic<std::size_t> trash_frames_done_{0};
  // Trash classes already reported for lacking a height range.
  std::set<int32_t> trash_classes_without_height_;
  float trash_distance_threshold_ = 0.0F;
  float robot_angular_threshold_ = 0.0F;
  int bbox_edge_threshold_ = 0;

  std::atomic<int> ai_thread_state_{0};
  std::mutex ai_mutex_;
  std::condition_variable ai_cv_;
  std::thread ai_thread_;
  AiThreadInputPara ai_thread_input_;

  std::atomic<bool> dangerous_thread_idle_{true};
  std::mutex dangerous_mutex_;
  std::condition_variable dangerous_cv_;
  std::thread dangerous_thread_;
  DangerousThreadInputPara lethal_region_input_;
  DangerousThreadInputPara dangerous_region_input_;

  // The group of the one-message waits (camera info, cmd_vel): no executor
  // spins it, so nothing takes a message the wait is waiting for.
  std::shared_ptr<rclcpp::CallbackGroup> wait_callback_group_;
  std::shared_ptr<rclcpp::CallbackGroup> depth_callback_group_;
  std::shared_ptr<rclcpp::Subscription<sensor_msgs::msg::Image>> depth_sub_;
  std::shared_ptr<rclcpp::CallbackGroup> rgb_callback_group_;
  std::shared_ptr<rclcpp::Subscription<sensor_msgs::msg::Image>> rgb_sub_;
  std::shared_ptr<const sensor_msgs::msg::Image> matched_rgb_msg_;
  std::deque<std::shared_ptr<const sensor_msgs::msg::Image>> rgb_queue_;
  std::deque<std::shared_ptr<const sensor_msgs::msg::Image>> depth_queue_;
  std::shared_ptr<rclcpp::Subscription<quorvane_protocol::msg::TaskCenterFsmStatus>>
  fsm_status_sub_;
  mutable std::mutex rgb_mutex_;
  mutable std::mutex depth_mutex_;
  std::shared_ptr<rclcpp::TimerBase> sensor_check_timer_;
  // Report site key -> node-clock time (s) of its last report; both callback
  // groups report, so every due-test and update holds the mutex.
  std::unordered_map<int, double> error_report_time_;
  std::mutex error_report_mutex_;

  std::string fsm_status_topic_ = "fsm_status";
  std::atomic<bool> hibernate_{false};
  bool close_ai_detect_ = false;
  std::string data_status_topic_ = "data_status";
  std::string base_cloud_topic_ = "base_cloud";
  std::string obstacle_cloud_topic_ = "obstacle_cloud";
  std::string ground_cloud_topic_ = "ground_cloud";
  std::string cluster_cloud_topic_ = "cluster_cloud";
  std::string detect_bbox_image_topic_ = "detect_bbox_image";
  std::string cloud_bbox_image_topic_ = "cloud_bbox_image";
  std::string detect_bbox_cloud_topic_ = "detect_bbox_cloud";
  std::string class_cloud_info_topic_ = "class_cloud_info";
  std::string no_remove_ground_cloud_info_topic_ = "no_remove_ground_cloud_info";
  std::string ori_static_obstacle_cloud_topic_ = "ori_static_obstacle_cloud";
  std::string ori_dynamic_obstacle_cloud_topic_ = "ori_dynamic_obstacle_cloud";
  std::string ori_stain_cloud_topic_ = "ori_stain_cloud";
  std::string static_obstacle_cloud_topic_ = "static_obstacle_cloud";
  std::string dynamic_obstacle_cloud_topic_ = "dynamic_obstacle_cloud";
  std::string stain_cloud_topic_ = "stain_cloud";
  std::string people_info_topic_ = "people_info";
  std::string web_trash_topic_ = "web_trash";
  std::string robot_event_topic_ = "robot_event";
  std::string dangerous_ori_region_cloud_topic_ = "dangerous_ori_region_cloud";
  std::string lethal_region_cloud_topic_ = "lethal_region_cloud";
  std::string lethal_region_sem_cloud_topic_ = "lethal_region_sem_cloud";
  std::string dangerous_region_cloud_topic_ = "dangerous_region_cloud";
  std::string dangerous_region_sem_cloud_topic_ = "dangerous_region_sem_cloud";
  std::string dangerous_region_map_image_topic_ = "dangerous_region_map_image_topic";
  std::string dangerous_region_map_dilate_image_topic_ =
    "dangerous_region_map_dilate_image_topic";
  std::string lethal_region_map_dilate_image_topic_ = "lethal_region_map_dilate_image_topic";
  std::string dangerous_region_erode_image_topic_ = "dangerous_region_erode_image_topic";
  std::string dangerous_region_odom_cloud_topic_ = "dangerous_region_odom_cloud";
  std::string dangerous_region_base_cloud_topic_ = "dangerous_region_base_cloud";

  rclcpp::Publisher<std_msgs::msg::Bool>::SharedPtr data_status_pub_;
  rclcpp::Publisher<sensor_msgs::msg::PointCloud2>::SharedPtr base_cloud_pub_;
  rclcpp::Publisher<sensor_msgs::msg::PointCloud2>::SharedPtr obstacle_cloud_pub_;
  rclcpp::Publisher<sensor_msgs::msg::PointCloud2>::SharedPtr ground_cloud_pub_;
  rclcpp::Publisher<sensor_msgs::msg::PointCloud2>::SharedPtr cluster_cloud_pub_;
  rclcpp::Publisher<sensor_msgs::msg::Image>::SharedPtr detect_bbox_image_pub_;
  rclcpp::Publisher<sensor_msgs::msg::Image>::SharedPtr cloud_bbox_image_pub_;
  rclcpp::Publisher<sensor_msgs::msg::PointCloud2>::SharedPtr detect_bbox_cloud_pub_;
  rclcpp::Publisher<sensor_msgs::msg::PointCloud2>::SharedPtr class_cloud_info_pub_;
  rclcpp::Publisher<sensor_msgs::msg::PointCloud2>::SharedPtr no_remove_ground_cloud_info_pub_;
  rclcpp::Publisher<sensor_msgs::msg::PointCloud2>::SharedPtr ori_static_obstacle_cloud_pub_;
  rclcpp::Publisher<sensor_msgs::msg::PointCloud2>::SharedPtr ori_dynamic_obstacle_cloud_pub_;
  rclcpp::Publisher<sensor_msgs::msg::PointCloud2>::SharedPtr ori_stain_cloud_pub_;
  rclcpp::Publisher<quorvane_protocol::msg::SemanticPointCloud>::SharedPtr
    static_obstacle_cloud_pub_;
  rclcpp::Publisher<quorvane_protocol::msg::SemanticPointCloud>::SharedPtr
    dynamic_obstacle_cloud_pub_;
  rclcpp::Publisher<quorvane_protocol::msg::SemanticPointCloud>::SharedPtr stain_cloud_pub_;
  rclcpp::Publisher<quorvane_protocol::msg::ObjectList>::SharedPtr people_info_pub_;
  rclcpp::Publisher<quorvane_protocol::msg::Trashes>::SharedPtr web_trash_pub_;
  rclcpp::Publisher<quorvane_protocol::msg::RobotEvent>::SharedPtr robot_event_pub_;
  rclcpp::Publisher<quorvane_protocol::msg::ObjectList>::SharedPtr objects_rgbd_pub_;
  rclcpp::Publisher<quorvane_protocol::msg::ObjectList>::SharedPtr objects_rgb_pub_;
  rclcpp::Publisher<sensor_msgs::msg::PointCloud2>::SharedPtr dangerous_ori_region_cloud_pub_;
  rclcpp::Publisher<sensor_msgs::msg::PointCloud2>::SharedPtr lethal_region_cloud_pub_;
  rclcpp::Publisher<sensor_msgs::msg::PointCloud2>::SharedPtr dangerous_region_cloud_pub_;
  rclcpp::Publisher<quorvane_protocol::msg::SemanticPointCloud>::SharedPtr
    lethal_region_sem_cloud_pub_;
  rclcpp::Publisher<quorvane_protocol::msg::SemanticPointCloud>::SharedPtr
    dangerous_region_sem_cloud_pub_;
  rclcpp::Publisher<sensor_msgs::msg::Image>::SharedPtr dangerous_region_map_image_pub_;
  rclcpp::Publisher<sensor_msgs::msg::Image>::SharedPtr dangerous_region_map_dilate_image_pub_;
  rclcpp::Publisher<sensor_msgs::msg::Image>::SharedPtr lethal_region_map_dilate_image_pub_;
  rclcpp::Publisher<quorvane_protocol::msg::ExceptionHandle>::SharedPtr exception_handle_pub_;
  rclcpp::Publisher<visualization_msgs::msg::MarkerArray>::SharedPtr ground_line_pub_;
  rclcpp::Publisher<sensor_msgs::msg::PointCloud2>::SharedPtr outlier_points_pub_;
  rclcpp::Publisher<sensor_msgs::msg::Image>::SharedPtr dangerous_region_erode_image_pub_;
  rclcpp::Publisher<sensor_msgs::msg::PointCloud2>::SharedPtr dangerous_region_odom_cloud_pub_;
  rclcpp::Publisher<sensor_msgs::msg::PointCloud2>::SharedPtr dangerous_region_base_cloud_pub_;

  std::unique_ptr<tf2_ros::Buffer> tf_buffer_;
  std::shared_ptr<tf2_ros::TransformListener> tf_listener_;
  std::shared_ptr<rclcpp_lifecycle::LifecycleNode> node_;
  std::shared_ptr<Cloud> cloud_;
  std::shared_ptr<pelorin::model::YOLOv8Seg> ai_model_;
  std::shared_ptr<pelorin::perception::DynamicCloudDetector> dynamic_cloud_detector_;
  std::shared_ptr<pelorin::perception::RgbDetector> rgb_detector_;
  std::array<float, 4> intrinsics_{};  // fx, fy, cx, cy
  pelorin::perception::GroundRemovalParams remove_ground_params_;
  pelorin::perception::CloudClusterPara cloud_cluster_para_{0.1F, 3, 2};
  CloudPara cloud_para_;
  std::shared_ptr<semantic::AiConfig> ai_conf_;
  int camera_id_ = 0;
  int rgb_buffer_size_ = 15;
  int remove_ground_method_ = 0;
  int box_enlarge_size_ = 3;
  float depth_rgb_time_diff_ = 0.08F;
  int depth_rgb_wait_time_ms_ = 50;
  bool rgb_mismatch_ = false;
  Eigen::Matrix4f cam_to_base_matrix_ = Eigen::Matrix4f::Identity();
  Eigen::Matrix4f base_to_cam_matrix_ = Eigen::Matrix4f::Identity();
  Eigen::Matrix4f base_to_odom_matrix_ = Eigen::Matrix4f::Zero();
  pcl::PointCloud<pcl::PointXYZ>::Ptr dangerous_region_history_cloud_;
  std::vector<bool> dangerous_region_detect_status_;
  int statistics_dangerous_region_detect_status_num_ = 20;
  float dangerous_dilate_offset_ = 0.1F;
  float lethal_dilate_offset_ = 0.1F;
  bool debug_ = true;
  bool use_ai_thread_ = false;
  float cam_base_ = 0.0F;
  int image_width_ = 0;
  int image_height_ = 0;
  bool data_flow_trace_ = false;
  double rgb_latency_sum_ = 0.0;
  int rgb_latency_count_ = 0;
  double depth_latency_sum_ = 0.0;
  int depth_latency_count_ = 0;
  int sample_kernel_size_ = 2;
  int dangerous_sample_kernel_size_ = 0;
  int grid_width_ = 0;
  int grid_height_ = 0;
  float grid_resolution_ = 0.0F;
  int kernel_size_ = 0;
  int lethal_iter_ = 0;
  int dangerous_iter_ = 0;
  int dangerous_region_erode_kernel_size_ = 0;
  std::set<int> dangerous_class_type_;
  std::set<int> no_remove_ground_class_type_;
  std::set<int> groud_stain_class_type_;
  std::set<int> trash_class_type_;
  std::set<int> dynamic_obstacle_class_type_;
  std::set<int> static_obstacle_class_type_;
  bool dangerous_use_two_camera_ = true;
  float trash_mask_iou_v1 = 0.7F;
  std::array<float, 3> waste_size_{};  // length, width, height
  float no_clean_trash_map_dis_th_ = 0.03F;
  std::vector<pelorin::perception::ObjectInfo> broadcast_trash_positions_;
  float min_trash_area_ = 0.0004F;  // square metres
  quorvane_protocol::msg::RobotEvent robot_event_msg_;
  mutable std::mutex ground_fit_mutex_;
  bool update_ground_fit_ = false;
  // A ground change this camera accepted, waiting for the node to hold its
  // values: a later callback (another camera's) may refuse the batch, and
  // rclcpp then sets none of it.
  struct StagedGroundChange
  {
    pelorin::perception::GroundRemovalParams params;
    std::vector<rclcpp::Parameter> values;
  };
  std::optional<StagedGroundChange> staged_ground_change_;
  uint64_t staged_ground_generation_ = 0;
  std::unique_ptr<pelorin::perception::VoxelGridFilter> voxel_filter_;
  // The clouds of the geometric chain, kept so their buffers serve every frame.
  std::shared_ptr<pcl::PointCloud<pcl::PointXYZ>> depth_cloud_{new pcl::PointCloud<pcl::PointXYZ>};
  std::shared_ptr<pcl::PointCloud<pcl::PointXYZ>> sampled_cloud_{
    new pcl::PointCloud<pcl::PointXYZ>};
  std::shared_ptr<pcl::PointCloud<pcl::PointXYZ>> base_cloud_{new pcl::PointCloud<pcl::PointXYZ>};
  std::shared_ptr<pcl::PointCloud<pcl::PointXYZ>> obstacle_cloud_{
    new pcl::PointCloud<pcl::PointXYZ>};
  std::shared_ptr<pcl::PointCloud<pcl::PointXYZ>> ground_cloud_{
    new pcl::PointCloud<pcl::PointXYZ>};
  std::shared_ptr<rclcpp::node_interfaces::OnSetParametersCallbackHandle> param_callback_handle_;
};
