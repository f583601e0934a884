#pragma once

#include <atomic>
#include <cstddef>
#include <string>
#include <vector>

#include "frame_source.hpp"
#include "html_index.hpp"
#include "rclcpp/rclcpp.hpp"
#include "summary.hpp"

namespace replay
{

struct PlayResult
{
  ReplaySummary summary;  // without the node's log figures
  std::vector<FramePage> pages;
};

// Starts the node with `params_files` and `overrides`, plays up to `frames`
// frames of `source` into it as a robot would send them (clock, robot pose,
// camera info, colour, depth, cmd_vel, fsm_status), one frame at a time:
// the next goes out once every camera has finished the last.  Everything the
// node publishes is recorded into `out`, with a top-down picture per frame in
// topdown/.  Ends early, keeping what was written, once `stop` is set.
PlayResult play(const FrameSource & source, const std::vector<std::string> & params_files,
  const std::vector<rclcpp::Parameter> & overrides, const std::string & out, std::size_t frames,
  const std::atomic<bool> & stop);

}  // namespace replay
