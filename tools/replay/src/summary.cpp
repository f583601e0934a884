#include "summary.hpp"

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

}  // namespace

double framesPerSecond(const ReplaySummary & summary)
{
  return summary.wall_seconds > 0.0 ?
         static_cast<double>(summary.frames_played) / summary.wall_seconds : 0.0;
}

Json summaryJson(const ReplaySummary & summary)
{
  std::vector<google::protobuf::Value> cameras;
  for (const auto & [camera, times] : summary.frame_ms) {
    const auto missed = summary.frames_missed.find(camera);
    const auto images = summary.counts.detection_images.find(camera);
    cameras.push_back(object(json({
        {"camera", number(camera)},
        {"frame_ms", spread(times)},
        {"frames_missed", count(missed == summary.frames_missed.end() ? 0 : missed->second)},
        {"detection_images",
          count(images == summary.counts.detection_images.end() ? 0 : images->second)}})));
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
  for (const auto & [camera, times] : summary.frame_ms) {
    out += fmt::format("camera {}: frame median {:.1f} ms, p95 {:.1f} ms\n", camera,
        times.median, times.p95);
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
