#pragma once

#include <array>
#include <cstddef>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include <Eigen/Core>
#include <pcl/point_cloud.h>
#include <pcl/point_types.h>

#include "json_lines.hpp"
#include "quorvane_protocol/msg/detected_wastes.hpp"
#include "quorvane_protocol/msg/exception_handle.hpp"
#include "quorvane_protocol/msg/object_list.hpp"
#include "quorvane_protocol/msg/robot_event.hpp"
#include "quorvane_protocol/msg/semantic_point_cloud.hpp"
#include "rclcpp/rclcpp.hpp"
#include "sensor_msgs/msg/image.hpp"
#include "sensor_msgs/msg/point_cloud2.hpp"

namespace replay
{

// Floor layers of one camera's output, in the order they are drawn.
enum Layer { kGround, kStain, kDangerous, kLethal, kStatic, kDynamic, kLayerCount };
const char * layerName(int layer);

struct StampedPoints
{
  double stamp = -1.0;
  std::vector<Eigen::Vector3f> points;  // base_footprint
};

// What one camera published last.
struct CameraOutputs
{
  std::array<StampedPoints, kLayerCount> layers;
  double objects_stamp = -1.0;
  std::vector<quorvane_protocol::msg::ObjectItem> objects;  // "/objects_rgbd_N"
  StampedPoints fov;  // the four outline points of the semantic clouds
};

struct RecordCounts
{
  std::map<int, std::size_t> detection_images;  // per camera
  std::size_t object_lists = 0;
  std::size_t objects = 0;
  std::size_t people = 0;
  std::map<std::string, std::size_t> items;  // "<layer> <class>": semantic cloud items
  std::size_t track_messages = 0;
  std::set<uint32_t> track_ids;
  std::size_t robot_events = 0;
  std::size_t exception_reports = 0;
  std::size_t point_clouds = 0;
};

// Listens to the node's outputs on its own node and writes them into `folder`
// as they arrive: detection images (detections/cam<N>_<frame>.png), clouds
// (clouds/<frame>_cam<N>_<layer>.pcd, x y z and the class as label), and the
// JSON lines of objects.jsonl, clouds.jsonl, tracks.jsonl and events.jsonl.
// Messages belong to the played frame nearest to their stamp; unstamped ones
// to the frame being played.  Not thread-safe: one thread plays and collects.
class Recorder
{
public:
  Recorder(const std::vector<int> & cameras, const std::string & folder);

  // Frame `frame` goes out now with this stamp.
  void beginFrame(std::size_t frame, double stamp);
  // Handles every message that has arrived.
  void collect();

  const std::map<int, CameraOutputs> & cameras() const {return cameras_;}
  // The last "detected_wastes" (map frame); empty before the first.
  const quorvane_protocol::msg::DetectedWastes & tracks() const {return tracks_;}
  // (frame, camera) of each detection image written.
  const std::set<std::pair<std::size_t, int>> & detectionImages() const {return images_;}
  const RecordCounts & counts() const {return counts_;}
  std::size_t frameOf(double stamp) const;

  static std::string detectionImageName(std::size_t frame, int camera);

private:
  template<typename Message, typename Handler>
  void listen(const std::string & topic, Handler handler);
  void keepPoints(int camera, int layer, const sensor_msgs::msg::PointCloud2 & cloud,
    int32_t label);
  void keepSemantic(int camera, int layer,
    const quorvane_protocol::msg::SemanticPointCloud & message);
  // Keeps the points for the picture and writes them as a cloud file.
  void keep(int camera, int layer, double stamp, const pcl::PointCloud<pcl::PointXYZL> & labelled);

  std::string folder_;
  rclcpp::Node::SharedPtr node_;
  rclcpp::executors::SingleThreadedExecutor executor_;
  std::vector<rclcpp::SubscriptionBase::SharedPtr> subscriptions_;
  std::map<double, std::size_t> frames_;  // stamp -> frame
  std::size_t current_ = 0;
  std::map<int, CameraOutputs> cameras_;
  quorvane_protocol::msg::DetectedWastes tracks_;
  std::set<std::pair<std::size_t, int>> images_;
  RecordCounts counts_;
  JsonLines objects_;
  JsonLines clouds_;
  JsonLines track_lines_;
  JsonLines events_;
};

}  // namespace replay
