#include "floor_picture.hpp"

#include <Eigen/Geometry>
#include <fmt/format.h>

#include "quorvane_object_detect/semantic_type.hpp"

namespace replay
{
namespace
{

constexpr std::size_t kFramesKept = 3;

Eigen::Vector2f flat(const Eigen::Vector3f & p)
{
  return p.head<2>();
}

bool belongsTo(const Recorder & recorder, double stamp, std::size_t frame)
{
  return stamp >= 0.0 && recorder.frameOf(stamp) == frame;
}

}  // namespace

TopDownContent floorPicture(const Recorder & recorder, const scene::Scene & rig,
  const std::vector<double> & frame_times, std::size_t frame)
{
  const double now = frame_times.at(frame);
  const Eigen::Isometry3f base_from_odom = rig.robot.odomFromBase(now).inverse();
  // Points of frame `then`, in the base frame of now; false for frames too old
  // and, where the recording has no robot pose, for frames but this one.
  const auto mover = [&](double stamp, Eigen::Isometry3f & move) {
      const std::size_t then = recorder.frameOf(stamp);
      if (stamp < 0.0 || then > frame || frame - then >= kFramesKept) {
        return false;
      }
      move = then == frame ? Eigen::Isometry3f::Identity() :
        base_from_odom * rig.robot.odomFromBase(frame_times.at(then));
      return move.matrix().allFinite();
    };

  TopDownContent content;
  for (const auto & [camera, outputs] : recorder.cameras()) {
    Eigen::Isometry3f move;
    for (int layer = 0; layer < kLayerCount; ++layer) {
      const StampedPoints & kept = outputs.layers[static_cast<std::size_t>(layer)];
      if (!mover(kept.stamp, move)) {
        continue;
      }
      for (const Eigen::Vector3f & p : kept.points) {
        content.layers[static_cast<std::size_t>(layer)].push_back(flat(move * p));
      }
    }
    if (belongsTo(recorder, outputs.objects_stamp, frame)) {
      for (const auto & item : outputs.objects) {
        std::vector<Eigen::Vector2f> outline;
        for (const auto & p : item.polygon.points) {
          outline.emplace_back(p.x, p.y);
        }
        content.boxes.push_back(outline);
        content.people.push_back(item.is_person == 1);
      }
    }
    const std::size_t index = static_cast<std::size_t>(camera - 1);
    if (belongsTo(recorder, outputs.fov.stamp, frame) && index < rig.cameras.size()) {
      std::vector<Eigen::Vector2f> outline;
      for (const Eigen::Vector3f & p : outputs.fov.points) {
        outline.push_back(flat(p));
      }
      content.fields_of_view.push_back(
        fieldOfView(flat(rig.cameras[index].base_from_optical.translation()), outline));
    }
  }
  const Eigen::Isometry3f base_from_map =
    (rig.frames.map_from_odom_fusion * rig.frames.odom_fusion_from_odom *
    rig.robot.odomFromBase(now)).inverse();
  for (const auto & waste : recorder.tracks().wastes) {
    const Eigen::Vector3f at(waste.position.x, waste.position.y, waste.position.z);
    content.tracks.push_back({flat(base_from_map * at),
        semantic::SemanticTypeName(waste.label) + " " + std::to_string(waste.id)});
  }
  content.caption = fmt::format("frame {}   t = {:.2f} s", frame, now - frame_times.front());
  return content;
}

}  // namespace replay
