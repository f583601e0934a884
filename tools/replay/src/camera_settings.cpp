#include "camera_settings.hpp"

#include <cmath>

#include <yaml-cpp/yaml.h>

namespace replay
{
namespace
{

struct Mount
{
  double forward = 0.0;
  double left = 0.0;
  double height = 0.45;
  double pitch_down = 0.0;
  double yaw = 0.0;
};

double read(const YAML::Node & node, const char * key, double fallback, const std::string & file)
{
  if (!node[key]) {
    return fallback;
  }
  try {
    return node[key].as<double>();
  } catch (const YAML::Exception &) {
    throw UsageError(file + ": " + key + " is not a number");
  }
}

}  // namespace

RecordedCamera recordedCamera(const CameraArguments & arguments)
{
  RecordedCamera out;
  scene::Intrinsics & k = out.camera.intrinsics;
  Mount mount;
  if (!arguments.file.empty()) {
    YAML::Node root;
    try {
      root = YAML::LoadFile(arguments.file);
    } catch (const YAML::Exception & error) {
      throw UsageError(arguments.file + ": " + error.what());
    }
    for (const char * key : {"fx", "fy", "cx", "cy"}) {
      if (!root[key] && !arguments.intrinsics) {
        throw UsageError(arguments.file + ": " + key + " is missing");
      }
    }
    const std::string & f = arguments.file;
    k.fx = static_cast<float>(read(root, "fx", k.fx, f));
    k.fy = static_cast<float>(read(root, "fy", k.fy, f));
    k.cx = static_cast<float>(read(root, "cx", k.cx, f));
    k.cy = static_cast<float>(read(root, "cy", k.cy, f));
    out.depth_units_per_metre = read(root, "depth_units_per_metre", out.depth_units_per_metre, f);
    if (const YAML::Node m = root["mount"]) {
      mount = {read(m, "forward", mount.forward, f), read(m, "left", mount.left, f),
        read(m, "height", mount.height, f), read(m, "pitch_down", mount.pitch_down, f),
        read(m, "yaw", mount.yaw, f)};
    }
  }
  if (arguments.intrinsics) {
    const std::vector<double> & v = *arguments.intrinsics;
    k.fx = static_cast<float>(v[0]);
    k.fy = static_cast<float>(v[1]);
    k.cx = static_cast<float>(v[2]);
    k.cy = static_cast<float>(v[3]);
  }
  if (arguments.mount) {
    const std::vector<double> & v = *arguments.mount;
    mount = {v[0], v[1], v[2], v[3], v[4]};
  }
  if (arguments.depth_scale) {
    out.depth_units_per_metre = *arguments.depth_scale;
  }
  if (!(k.fx > 0.0F && k.fy > 0.0F && std::isfinite(k.cx) && std::isfinite(k.cy))) {
    throw UsageError("the camera needs positive fx, fy and finite cx, cy");
  }
  if (!(out.depth_units_per_metre > 0.0)) {
    throw UsageError("the depth scale must be positive");
  }
  out.camera.frame_id = "camera_01_depth_optical_frame";
  out.camera.base_from_optical = scene::mountPose(
    static_cast<float>(mount.forward), static_cast<float>(mount.height),
    static_cast<float>(mount.pitch_down), static_cast<float>(mount.yaw),
    static_cast<float>(mount.left));
  return out;
}

}  // namespace replay
