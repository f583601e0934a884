#pragma once

#include <chrono>
#include <vector>

#include <opencv2/core.hpp>
#include <pcl/point_cloud.h>
#include <pcl/point_types.h>

#include "quorvane_object_detect/cloud.hpp"
#include "quorvane_object_detect/common.hpp"
#include "sensor_msgs/msg/image.hpp"

// System-clock readings at the stage boundaries of one depth frame; the
// run-time lines are their differences.
struct StageTimes
{
  using Stamp = std::chrono::system_clock::time_point;
  Stamp entry, search_start, search_end, end;
  Stamp ai_start, ai_end;
  Stamp chain_start, depth_to_cloud, sample_cloud, cam_to_base, remove_ground, cloud_cluster,
    dynamic_detector, assign_label;

  static Stamp now() {return std::chrono::system_clock::now();}
};

// Whole microseconds from `from` to `to`, truncated toward zero.
inline long long microseconds(StageTimes::Stamp from, StageTimes::Stamp to)
{
  return std::chrono::duration_cast<std::chrono::nanoseconds>(to - from).count() / 1000;
}

// What one depth frame carries from stage to stage.
struct FrameContext
{
  sensor_msgs::msg::Image::ConstSharedPtr depth;
  double depth_stamp = 0.0;  // s
  double rgb_stamp = 0.0;    // s; the depth stamp while no colour image is found
  double frame_stamp = 0.0;  // s; the mean of the two stamps
  cv::Mat rgb;               // "rgb8"; empty without a colour image
  AiDetectResult detection;
  // The detections that label the obstacle clusters.
  AiDetectResult ground_plane;
  // Per-box clouds of the classes whose ground is kept; joined to the
  // obstacles after clustering and labelled with their box's class.
  std::vector<CloudInfo> no_remove_ground_clouds;
  // Per-box clouds of the escalator entrances, for the dangerous region.
  std::vector<CloudInfo> dangerous_clouds;
  std::vector<pcl::PointCloud<pcl::PointXYZ>> clusters;
  bool cloud_empty = true;  // the sampled cloud had no point
  const char * stage = "intake";  // named in the error line when a stage throws
  StageTimes times;
};
