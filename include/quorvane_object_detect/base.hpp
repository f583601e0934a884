#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "pelorin/perception/trash_tracker.hpp"
#include "quorvane_object_detect/depth_camera.hpp"
#include "quorvane_protocol/msg/detected_wastes.hpp"
#include "rclcpp/rclcpp.hpp"
#include "rclcpp_lifecycle/lifecycle_node.hpp"
#include "visualization_msgs/msg/marker_array.hpp"

// Input topics of one camera.
struct CameraTopics
{
  std::string camera_info;
  std::string rgb;
  std::string depth;
};

// The lifecycle node "object_detect": reads the node-level parameters, builds
// the trash tracker and one DepthCamera per open camera, and switches the
// cameras on activate / deactivate.
class Base : public rclcpp_lifecycle::LifecycleNode
{
public:
  // Configures itself before returning; throws std::runtime_error carrying the
  // reason when the configure transition fails.
  explicit Base(const rclcpp::NodeOptions & options = rclcpp::NodeOptions());

  CallbackReturn on_configure(const rclcpp_lifecycle::State & previous_state) override;
  CallbackReturn on_cleanup(const rclcpp_lifecycle::State & previous_state) override;
  CallbackReturn on_activate(const rclcpp_lifecycle::State & previous_state) override;
  CallbackReturn on_deactivate(const rclcpp_lifecycle::State & previous_state) override;

  // Start-up after configuration: the tracker's two publishers, the tracker,
  // then the cameras one after another (each waits for its camera info).
  // Throws what a constructor throws; cameras built until then stay in place.
  void setUp();
  // Stops and joins every camera's worker threads, then releases the cameras
  // (which breaks the node <-> camera cycle).  Call once the executor stopped.
  void stopCameras();

  // Executor thread count: "executors", a negative value taken as 0 (the
  // executor chooses).
  std::size_t executorThreads() const;

  const std::vector<std::shared_ptr<DepthCamera>> & depthCameras() const {return depth_cameras_;}
  const std::vector<CameraTopics> & cameraTopics() const {return camera_topics_;}
  int cameras() const {return cameras_;}
  const std::vector<bool> & closeCam() const {return close_cam_;}
  const std::vector<bool> & trashCloseCam() const {return trash_close_cam_;}
  const std::string & trackerConfig() const {return tracker_config_;}
  std::shared_ptr<pelorin::perception::TrashTracker> trashTracker() const {return trash_tracker_;}

private:
  void readParameters();
  void switchCameras(bool active);

  std::vector<std::shared_ptr<DepthCamera>> depth_cameras_;
  std::vector<CameraTopics> camera_topics_;
  int executors_ = 1;
  int cameras_ = 2;
  rclcpp::Publisher<quorvane_protocol::msg::DetectedWastes>::SharedPtr detected_wastes_pub_;
  rclcpp::Publisher<visualization_msgs::msg::MarkerArray>::SharedPtr trash_marker_pub_;
  std::shared_ptr<pelorin::perception::TrashTracker> trash_tracker_;
  std::vector<bool> close_cam_;
  std::vector<bool> trash_close_cam_;
  std::string tracker_config_;
  // Why the last configure transition failed; empty after a success.
  std::string configure_error_;
};
