#pragma once

#include <memory>
#include <vector>

#include "frame_input.hpp"
#include "node_harness.hpp"
#include "quorvane_object_detect/depth_camera.hpp"
#include "rclcpp/rclcpp.hpp"
#include "sensor_msgs/msg/image.hpp"
#include "tf2_ros/static_transform_broadcaster.h"

// The real node in-process on the stand-in, as the node tests start it: Base
// with one camera mounted and calibrated like the input's, simulated time,
// the robot standing at the origin of odom, odom_fusion and map, the model
// meta file without a model.
namespace frame_chain
{

class RunningNode
{
public:
  // Returns once the camera has paired the input's colour image and finished
  // its history frames.
  RunningNode(
    const FrameInput & input, bool debug, const std::vector<rclcpp::Parameter> & extra = {});

  // Publishes the input's depth frame and waits, spinning, until the camera
  // has finished it: the seconds from publishing, the hand-over on the
  // in-process bus included.
  double frame();

  const DepthCamera & camera() const {return *camera_;}

private:
  double publishAndWait(const sensor_msgs::msg::Image & depth);

  const FrameInput & input_;
  std::unique_ptr<node_test::NodeHarness> harness_;
  rclcpp::Publisher<sensor_msgs::msg::Image>::SharedPtr depth_;
  rclcpp::Publisher<sensor_msgs::msg::Image>::SharedPtr colour_;
  std::unique_ptr<tf2_ros::StaticTransformBroadcaster> odom_;
  const DepthCamera * camera_ = nullptr;
};

}  // namespace frame_chain
