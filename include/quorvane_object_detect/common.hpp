#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <Eigen/Core>
#include <opencv2/core.hpp>

#include "quorvane_object_detect/logger.hpp"

// Drawing palette: entry (label % 20) as red, green, blue.
const std::vector<std::vector<int>> kColorPalette20 = {
  {255, 56, 56}, {255, 157, 151}, {255, 112, 31}, {255, 178, 29}, {207, 210, 49},
  {72, 249, 10}, {146, 204, 23}, {61, 219, 134}, {26, 147, 52}, {0, 212, 187},
  {44, 153, 168}, {0, 194, 255}, {52, 69, 147}, {100, 115, 255}, {0, 24, 236},
  {132, 56, 255}, {82, 0, 133}, {203, 56, 255}, {255, 149, 200}, {255, 55, 199}};

const std::string kBaseFrame = "base_footprint";
const std::string kMapFrame = "map";
const std::string kOdomFusionFrame = "odom_fusion";

// Put in front of the first error of a configuration file.
inline const std::string kParseFileErrPrefix = "ParseFile Err: ";

// Error codes carried by ExceptionHandle and the log lines.
constexpr int kErrCamParamInit = 100700001;
constexpr int kErrSensorData = 100700002;
constexpr int kErrSensorTime = 100700003;

// One detection kept by the AI stage.
struct BboxInfo
{
  int32_t x1 = 0;
  int32_t y1 = 0;
  int32_t x2 = 0;
  int32_t y2 = 0;
  cv::Mat mask;  // full-image mask, indexed by absolute row and column
  std::vector<int32_t> point_list;
  float score = 0.0F;
  int32_t class_id = 1;  // 1: no class
};

// What the AI stage leaves for the later stages of a frame.
struct AiDetectResult
{
  cv::Mat image;
  std::vector<BboxInfo> bboxs_info;
  double stamp = 0.0;
};

using FovPoints = Eigen::Matrix<float, 3, 4>;

// Where a camera sits on the robot and the outline of its latest base-frame
// cloud.  The outline is replaced as one set, so a reader never sees a mix of
// two frames.
class CameraFrame
{
public:
  explicit CameraFrame(const Eigen::Vector3f & camera_origin)
  : origin(camera_origin) {}

  void setFovPoints(const FovPoints & points);
  // False, and `out` untouched, until the first set is in.
  bool getFovPoints(FovPoints & out) const;

  const Eigen::Vector3f origin;
  std::atomic<bool> valid{false};

private:
  mutable std::mutex points_mutex_;
  FovPoints fov_points_ = FovPoints::Zero();
};

// Process-wide table by 1-based camera number; slot 0 stays empty.
extern std::vector<std::shared_ptr<CameraFrame>> camera_frames;
extern std::mutex camera_frames_mutex;

// A copy of slot `index`, or empty when out of range.
std::shared_ptr<CameraFrame> getCameraFrame(int index);
// The entry of camera `index`, installed (and the table grown) on first use.
std::shared_ptr<CameraFrame> installCameraFrame(int index, const Eigen::Vector3f & origin);
