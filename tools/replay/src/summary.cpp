#include "summary.hpp"

#include <set>

#include <fmt/format.h>

namespace replay
{
namespace
{

google::protobuf::Value spread(const Spread & s)
{
  return object(json({{"count", number(static_cast<double>(s.count))},
        {"median", number(s.median)}, {"p95", number(s.p95)}}));
}

google::protobuf::Value count(std::size_t n)
{
  return number(static_cast<double>(n));
}

// Also a camera that finished no frame.
std::set<int> cameraIds(const ReplaySummary & summary)
{
  std::set<int> ids;
  for (const auto & entry : summary.frame_ms) {
    ids.insert(entry.first);
  }
  for (const auto & entry : summary.frames_missed) {
    ids.insert(entry.first);
  }
  return ids;
}

template<typename Map>
typename Map::mapped_type valueOr(const Map & map, int key)
{
  const auto it = map.find(key);
  return it == map.end() ? typename Map::mapped_type() : it->second;
}

}  // namespace

double framesPerSecond(const ReplaySummary & summary)
{
  return summary.wall_seconds > 0.0 ?
         static_cast<double>(summary.frames_played) / summary.wall_seconds : 0.0;
}

Json summaryJson(const ReplaySummary & summary)
{
  std::vector<google::protobuf::Value> cameras;
  for (const int camera : cameraIds(summary)) {
    cameras.push_back(object(json({
        {"camera", number(camera)},
        {"frame_ms", spread(valueOr(summary.frame_ms, camera))},
        {"frames_missed", count(valueOr(summary.frames_missed, camera))},
        {"detection_images", count(valueOr(summary.counts.detection_images, camera))}})));
  }
  std::vector<google::protobuf::Value> stages;
  for (const auto & [key, times] : summary.stage_us) {
    stages.push_back(object(json({
        {"camera", number(key.first)}, {"stage", text(key.second)}, {"us", spread(times)}})));
  }
  Json items;
  for (const auto & [name, n] : summary.counts.items) {
    (*items.mutable_fields())[name] = count(n);
  }
  std::vector<google::protobuf::Value> parameters;
  for (const std::string & p : summary.parameters) {
    parameters.push_back(text(p));
  }
  const RecordCounts & c = summary.counts;
  return json({
      {"source", text(summary.source)},
      {"frames_planned", count(summary.frames_planned)},
      {"frames_played", count(summary.frames_played)},
      {"interrupted", number(summary.interrupted ? 1 : 0)},
      {"wall_seconds", number(summary.wall_seconds)},
      {"frames_per_second", number(framesPerSecond(summary))},
      {"cameras", list(cameras)},
      {"stages", list(stages)},
      {"counts", object(json({
          {"object_lists", count(c.object_lists)},
          {"objects", count(c.objects)},
          {"people", count(c.people)},
          {"semantic_items", object(items)},
          {"track_messages", count(c.track_messages)},
          {"tracks_seen", count(c.track_ids.size())},
          {"tracks_last", count(summary.tracks_last)},
          {"robot_events", count(c.robot_events)},
          {"exception_reports", count(c.exception_reports)},
          {"point_clouds", count(c.point_clouds)},
          {"error_lines", number(summary.error_lines)},
          {"warning_lines", number(summary.warning_lines)}}))},
      {"parameters", list(parameters)}});
}

std::string summaryText(const ReplaySummary & summary)
{
  std::string out = fmt::format("{} of {} frames{} in {:.1f} s ({:.1f} frames/s)\n",
      summary.frames_played, summary.frames_planned, summary.interrupted ? " (stopped)" : "",
      summary.wall_seconds, framesPerSecond(summary));
  for (const int camera : cameraIds(summary)) {
    const Spread times = valueOr(summary.frame_ms, camera);
    const std::size_t missed = valueOr(summary.frames_missed, camera);
    out += fmt::format("camera {}: frame median {:.1f} ms, p95 {:.1f} ms{}\n", camera,
        times.median, times.p95, missed > 0 ? fmt::format(", {} missed", missed) : "");
  }
  const RecordCounts & c = summary.counts;
  out += fmt::format(
    "{} object lists ({} objects, {} people), {} trash tracks, {} robot events, "
    "{} error and {} warning lines\n",
    c.object_lists, c.objects, c.people, c.track_ids.size(), c.robot_events,
    summary.error_lines, summary.warning_lines);
  return out;
}

}  // namespace replay
