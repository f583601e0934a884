#include "quorvane_object_detect/depth_camera.hpp"

#include <algorithm>
#include <chrono>
#include <stdexcept>
#include <string>
#include <functional>
#include <utility>

#include <Eigen/Geometry>

#include "geometry_msgs/msg/pose.hpp"
#include "quorvane_object_detect/camera_config.hpp"
#include "quorvane_object_detect/pose_of_matrix.hpp"

namespace
{

// The voxel sampling of every frame; leaves it cannot work with stop start-up.
std::unique_ptr<pelorin::perception::VoxelGridFilter> makeVoxelFilter(const CloudPara & para)
{
  try {
    return std::make_unique<pelorin::perception::VoxelGridFilter>(
      para.cloud_x_leafSize, para.cloud_y_leafSize, para.cloud_z_leafSize,
      static_cast<unsigned int>(std::max(para.cloud_min_point, 0)));
  } catch (const std::invalid_argument & error) {
    throw quorvane::camera_config::ConfigFileError(
            "parameters \"cloud_x_leafSize\", \"cloud_y_leafSize\", \"cloud_z_leafSize\": " +
            std::string(error.what()));
  }
}

}  // namespace

DepthCamera::DepthCamera(
  std::shared_ptr<rclcpp_lifecycle::LifecycleNode> node, int camera_id,
  const std::string & depth_topic, const std::string & rgb_topic,
  const std::string & camera_info_topic,
  std::shared_ptr<pelorin::perception::TrashTracker> trash_tracker)
: trash_tracker_(std::move(trash_tracker)),
  node_(std::move(node)),
  camera_id_(camera_id),
  dangerous_region_history_cloud_(new pcl::PointCloud<pcl::PointXYZ>())
{
  getConfigParameters();
  getRemoveGroundPara();
  getGroundHeightPara();
  getPointCloudClusterPara();

  cloud_ = std::make_shared<Cloud>(
    cloud_para_,
    std::make_shared<pelorin::perception::CloudCluster>(cloud_cluster_para_),
    std::make_shared<pelorin::perception::RemoveGroundLineFit>(remove_ground_params_));
  voxel_filter_ = makeVoxelFilter(cloud_para_);

  tf_buffer_ = std::make_unique<tf2_ros::Buffer>(
    node_->get_clock(), tf2::durationFromSec(10.0), rclcpp::Node::SharedPtr());
  tf_listener_ = std::make_shared<tf2_ros::TransformListener>(*tf_buffer_, true);

  wait_callback_group_ =
    node_->create_callback_group(rclcpp::CallbackGroupType::MutuallyExclusive, false);
  const auto context = node_->get_node_options().context();
  while (!get_cam_para(camera_info_topic)) {
    if (!rclcpp::ok(context)) {
      throw StartUpInterrupted("shut down while camera " + std::to_string(camera_id_) +
              " waited for its camera info");
    }
    QLOG_ERROR("ErrorCode:{}, camera param info initialize failed.", kErrCamParamInit);
    // get_cam_para fails at once on an empty topic name; keep the retry from
    // spinning and let a shutdown end it.
    if (camera_info_topic.empty() && !rclcpp::sleep_for(std::chrono::seconds(1), context)) {
      throw StartUpInterrupted("shut down while camera " + std::to_string(camera_id_) +
              " had no camera-info topic");
    }
  }

  initializeAi();
  initializeDynamicCloudDetector();

  try {
    startWorkers();
    setUpAfterWorkers(depth_topic, rgb_topic);
  } catch (...) {
    // A throwing constructor runs no destructor: joinable threads would end the process.
    stopWorkers();
    throw;
  }
}

DepthCamera::~DepthCamera()
{
  stopWorkers();
}

void DepthCamera::startWorkers()
{
  if (trash_tracker_) {
    trash_thread_ = std::thread(&DepthCamera::trashDetectionCallback, this, &trash_thread_input_);
    registerWithTracker();
  }
  dangerous_thread_ = std::thread(
    &DepthCamera::dangerousMapCallback, this, &lethal_region_input_, &dangerous_region_input_);
  if (use_ai_thread_) {
    ai_thread_ = std::thread(&DepthCamera::aiInferenceCallback, this, &ai_thread_input_);
  }
}

void DepthCamera::registerWithTracker()
{
  // The tracker takes {fx, cx, fy, cy}.
  if (!trash_tracker_->AddCamera(
      poseOfMatrix(cam_to_base_matrix_), image_width_, image_height_,
      {intrinsics_[0], intrinsics_[2], intrinsics_[1], intrinsics_[3]}))
  {
    // Nothing was registered: without this line the camera would go untracked silently.
    QLOG_WARN(
      "cam_{0:d} trash tracker rejected the camera geometry, its trash will not be tracked",
      camera_id_);
  }
}

void DepthCamera::setUpAfterWorkers(const std::string & depth_topic, const std::string & rgb_topic)
{
  initializeSubscriber(depth_topic, rgb_topic);
  initializePublisher();
  if (camera_id_ == 2) {
    buildGroundTable();
  }
  param_callback_handle_ = node_->add_on_set_parameters_callback(
    std::bind(&DepthCamera::dynamicParametersCallback, this, std::placeholders::_1));
}

void DepthCamera::stopWorkers()
{
  stop_workers_.store(true);
  // Taking each worker's mutex after raising the flag means a worker either
  // sees the flag before it waits or is already waiting and gets the wake-up.
  const auto wake = [](std::mutex & mutex, std::condition_variable & cv) {
      { std::lock_guard<std::mutex> lock(mutex); }
      cv.notify_all();
    };
  wake(trash_mutex_, trash_cv_);
  wake(ai_mutex_, ai_cv_);
  wake(dangerous_mutex_, dangerous_cv_);
  for (std::thread * worker : {&trash_thread_, &dangerous_thread_, &ai_thread_}) {
    if (worker->joinable()) {
      worker->join();
    }
  }
}

std::size_t DepthCamera::rgbQueueSize() const
{
  std::lock_guard<std::mutex> lock(rgb_mutex_);
  return rgb_queue_.size();
}

std::size_t DepthCamera::depthQueueSize() const
{
  std::lock_guard<std::mutex> lock(depth_mutex_);
  return depth_queue_.size();
}
