// object_detect_replay: the object-detection node run in-process on a
// generated scene or a TUM RGB-D folder, with what it publishes written out.
#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "camera_settings.hpp"
#include "default_scene.hpp"
#include "json_lines.hpp"
#include "log_capture.hpp"
#include "node_parameters.hpp"
#include "options.hpp"
#include "player.hpp"
#include "rclcpp/rclcpp.hpp"
#include "run_times.hpp"
#include "scene_source.hpp"
#include "tum_source.hpp"

namespace
{

std::atomic<bool> stop_requested{false};

// The first Ctrl-C stops the replay where it is, waits for nothing the node
// still does, and writes what was played; a second one ends the process at once.
void onInterrupt(int)
{
  stop_requested.store(true);
  std::signal(SIGINT, SIG_DFL);
}

void setDefaultEnvironment()
{
  // The node's share directory (configuration files) from the build tree.
  setenv("AMENT_PREFIX_PATH", QUORVANE_AMENT_PREFIX, 0);
  // Debug lines carry the per-stage run times; all of them go to node.log.
  setenv("SPDLOG_LEVEL", "debug", 0);
  setenv("SPDLOG_STDOUT", "true", 1);
  setenv("SPDLOG_SYSTEMD", "false", 0);
}

std::unique_ptr<replay::FrameSource> makeSource(const replay::Options & options)
{
  if (options.tum.empty()) {
    return std::make_unique<replay::SceneSource>(
      replay::defaultScene(), replay::kSceneSeconds, replay::kSceneRate);
  }
  return std::make_unique<replay::TumSource>(options.tum, replay::recordedCamera(options.camera));
}

int run(const replay::Options & options)
{
  const std::unique_ptr<replay::FrameSource> source = makeSource(options);
  const std::string out = options.out;
  std::filesystem::create_directories(out);
  const std::string heights = std::filesystem::absolute(out + "/camera_heights.yaml").string();
  replay::writeCameraHeights(source->rig(), heights);
  const std::string demo = out + "/replay_parameters.yaml";
  replay::writeDemoParameters(demo);
  std::vector<std::string> params{replay::shippedParameters(), demo};
  if (!options.params.empty()) {
    params.push_back(options.params);
  }
  const std::size_t frames =
    std::min(source->size(), options.frames.value_or(source->size()));

  replay::RunTimes times;
  replay::PlayResult result;
  {
    replay::LogCapture capture(out + "/node.log", [&times](const std::string & line) {
        times.add(line);
      });
    result = replay::play(*source, params, replay::replayParameters(source->rig(), heights), out,
        frames, stop_requested);
  }
  replay::ReplaySummary & summary = result.summary;
  summary.stage_us = times.stages();
  summary.error_lines = times.errors();
  summary.warning_lines = times.warnings();
  std::ofstream(out + "/summary.json") << replay::toJson(replay::summaryJson(summary), true) << "\n";
  replay::writeIndex(out + "/index.html", result.pages, summary);
  std::cout << replay::summaryText(summary) << "Written to " << out << "/ (open index.html)\n";
  return 0;
}

}  // namespace

int main(int argc, char ** argv)
{
  replay::Options options;
  try {
    options = replay::parseOptions({argv + 1, argv + argc});
  } catch (const replay::UsageError & error) {
    std::cerr << "object_detect_replay: " << error.what() << "\n\n" << replay::usage();
    return 2;
  }
  if (options.help) {
    std::cout << replay::usage();
    return 0;
  }
  setDefaultEnvironment();
  rclcpp::init(0, nullptr, rclcpp::InitOptions(), rclcpp::SignalHandlerOptions::None);
  std::signal(SIGINT, onInterrupt);
  int status = 0;
  try {
    status = run(options);
  } catch (const replay::UsageError & error) {
    std::cerr << "object_detect_replay: " << error.what() << "\n";
    status = 2;
  } catch (const std::exception & error) {
    std::cerr << "object_detect_replay failed: " << error.what() << "\n";
    status = 1;
  }
  rclcpp::shutdown();
  return status;
}
