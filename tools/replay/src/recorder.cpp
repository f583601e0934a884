#include "recorder.hpp"

#include <filesystem>

#include <fmt/format.h>
#include <opencv2/imgcodecs.hpp>
#include <pcl/io/pcd_io.h>
#include <pcl/point_cloud.h>
#include <pcl/point_types.h>

#include "cv_bridge/cv_bridge.h"
#include "message_json.hpp"
#include "pcl_conversions/pcl_conversions.h"
#include "quorvane_object_detect/semantic_type.hpp"

namespace replay
{
namespace
{

using quorvane_protocol::msg::DetectedWastes;
using quorvane_protocol::msg::ExceptionHandle;
using quorvane_protocol::msg::ObjectList;
using quorvane_protocol::msg::RobotEvent;
using quorvane_protocol::msg::SemanticPointCloud;
using sensor_msgs::msg::Image;
using sensor_msgs::msg::PointCloud2;

void appendLabelled(const PointCloud2 & cloud, int32_t label,
  pcl::PointCloud<pcl::PointXYZL> & out)
{
  pcl::PointCloud<pcl::PointXYZ> points;
  pcl::fromROSMsg(cloud, points);
  for (const auto & p : points) {
    pcl::PointXYZL point;
    point.getVector3fMap() = p.getVector3fMap();
    point.label = static_cast<uint32_t>(label);
    out.push_back(point);
  }
}

std::string frameText(std::size_t frame)
{
  return fmt::format("{:05d}", frame);
}

}  // namespace

const char * layerName(int layer)
{
  static const char * const kNames[kLayerCount] = {
    "ground", "stain", "dangerous", "lethal", "static", "dynamic"};
  return kNames[layer];
}

std::string Recorder::detectionImageName(std::size_t frame, int camera)
{
  return "detections/cam" + std::to_string(camera) + "_" + frameText(frame) + ".png";
}

template<typename Message, typename Handler>
void Recorder::listen(const std::string & topic, Handler handler)
{
  // Deep enough for everything of a frame and the worker threads' late outputs.
  subscriptions_.push_back(node_->create_subscription<Message>(
      topic, rclcpp::QoS(100), [handler](std::shared_ptr<const Message> message) {
        handler(*message);
      }));
}

Recorder::Recorder(const std::vector<int> & cameras, const std::string & folder)
: folder_(folder),
  node_(std::make_shared<rclcpp::Node>("object_detect_replay_recorder")),
  objects_(folder + "/objects.jsonl"),
  clouds_(folder + "/clouds.jsonl"),
  track_lines_(folder + "/tracks.jsonl"),
  events_(folder + "/events.jsonl")
{
  std::filesystem::create_directories(folder + "/detections");
  std::filesystem::create_directories(folder + "/clouds");
  for (const int camera : cameras) {
    cameras_[camera];  // a camera without output yet is still drawn as empty
    const std::string prefix = "/cam" + std::to_string(camera) + "_";
    listen<Image>(prefix + "detect_bbox_image", [this, camera](const Image & message) {
        const std::string name = detectionImageName(current_, camera);
        cv::imwrite(folder_ + "/" + name,
          cv_bridge::toCvCopy(message, "bgr8")->image,
          {cv::IMWRITE_PNG_COMPRESSION, 1});
        images_.emplace(current_, camera);
        ++counts_.detection_images[camera];
      });
    listen<PointCloud2>(prefix + "ground_cloud", [this, camera](const PointCloud2 & message) {
        keepPoints(camera, kGround, message, 0);
      });
    listen<PointCloud2>(prefix + "lethal_region_cloud", [this, camera](const PointCloud2 & m) {
        keepPoints(camera, kLethal, m, 0);
      });
    const std::pair<const char *, Layer> semantic[] = {
      {"static_obstacle_cloud", kStatic}, {"dynamic_obstacle_cloud", kDynamic},
      {"stain_cloud", kStain}, {"dangerous_region_sem_cloud", kDangerous}};
    for (const auto & [topic, layer] : semantic) {
      listen<SemanticPointCloud>(prefix + topic,
        [this, camera, layer = layer](const SemanticPointCloud & message) {
          keepSemantic(camera, layer, message);
        });
    }
    const std::string objects = "/objects_rgbd_" + std::to_string(camera);
    listen<ObjectList>(objects, [this, camera, objects](const ObjectList & message) {
        const double stamp = seconds(message.header.stamp);
        objects_.write(objectListJson(message, objects, frameOf(stamp)));
        CameraOutputs & outputs = cameras_[camera];
        outputs.objects_stamp = stamp;
        outputs.objects = message.objects;
        ++counts_.object_lists;
        counts_.objects += message.objects.size();
      });
    std::vector<std::string> people{prefix + "people_info"};
    if (camera == 2) {
      // Camera 2 also places the people of its colour image.
      people.push_back("/objects_rgb");
    }
    for (const std::string & topic : people) {
      listen<ObjectList>(topic, [this, topic](const ObjectList & message) {
          objects_.write(objectListJson(message, topic, frameOf(seconds(message.header.stamp))));
          counts_.people += message.objects.size();
        });
    }
  }
  listen<DetectedWastes>("/detected_wastes", [this](const DetectedWastes & message) {
      track_lines_.write(wastesJson(message, frameOf(seconds(message.header.stamp))));
      tracks_ = message;
      ++counts_.track_messages;
      for (const auto & waste : message.wastes) {
        counts_.track_ids.insert(waste.id);
      }
    });
  listen<RobotEvent>("/robot_event", [this](const RobotEvent & message) {
      events_.write(robotEventJson(message, frameOf(seconds(message.header.stamp))));
      ++counts_.robot_events;
    });
  listen<ExceptionHandle>("/exception_handle", [this](const ExceptionHandle &) {
      ++counts_.exception_reports;
    });
  executor_.add_node(node_);
}

void Recorder::beginFrame(std::size_t frame, double stamp)
{
  frames_[stamp] = frame;
  current_ = frame;
}

void Recorder::collect()
{
  executor_.spin_some();
}

std::size_t Recorder::frameOf(double stamp) const
{
  // The node stamps a frame with the mean of its depth and colour stamps.
  const auto after = frames_.lower_bound(stamp);
  if (stamp <= 0.0 || frames_.empty()) {
    return current_;
  }
  if (after == frames_.begin()) {
    return after->second;
  }
  const auto before = std::prev(after);
  return after == frames_.end() || stamp - before->first <= after->first - stamp ?
         before->second : after->second;
}

void Recorder::keepPoints(int camera, int layer, const PointCloud2 & cloud, int32_t label)
{
  const double stamp = seconds(cloud.header.stamp);
  pcl::PointCloud<pcl::PointXYZL> labelled;
  appendLabelled(cloud, label, labelled);
  keep(camera, layer, stamp, labelled);
}

void Recorder::keepSemantic(int camera, int layer, const SemanticPointCloud & message)
{
  const double stamp = seconds(message.header.stamp);
  clouds_.write(semanticCloudJson(message, layerName(layer), frameOf(stamp)));
  pcl::PointCloud<pcl::PointXYZL> labelled;
  for (const auto & item : message.items) {
    appendLabelled(item.cloud, item.label, labelled);
    ++counts_.items[std::string(layerName(layer)) + " " + semantic::SemanticTypeName(item.label)];
  }
  if (message.fov_points.size() == 4) {
    StampedPoints & fov = cameras_[camera].fov;
    fov.stamp = stamp;
    fov.points.clear();
    for (const auto & p : message.fov_points) {
      fov.points.emplace_back(p.x, p.y, p.z);
    }
  }
  keep(camera, layer, stamp, labelled);
}

void Recorder::keep(int camera, int layer, double stamp,
  const pcl::PointCloud<pcl::PointXYZL> & labelled)
{
  StampedPoints & kept = cameras_[camera].layers[static_cast<std::size_t>(layer)];
  kept.stamp = stamp;
  kept.points.clear();
  for (const auto & p : labelled) {
    kept.points.push_back(p.getVector3fMap());
  }
  if (labelled.empty()) {
    return;
  }
  pcl::io::savePCDFileBinaryCompressed(folder_ + "/clouds/" + frameText(frameOf(stamp)) + "_cam" +
    std::to_string(camera) + "_" + layerName(layer) + ".pcd", labelled);
  ++counts_.point_clouds;
}

}  // namespace replay
