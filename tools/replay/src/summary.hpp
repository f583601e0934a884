#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "json_lines.hpp"
#include "recorder.hpp"
#include "run_times.hpp"

namespace replay
{

struct ReplaySummary
{
  std::string source;
  std::size_t frames_planned = 0;
  std::size_t frames_played = 0;
  bool interrupted = false;
  double wall_seconds = 0.0;
  // Wall time from a camera's depth image going out to the camera finishing it.
  std::map<int, Spread> frame_ms;
  std::map<int, std::size_t> frames_missed;  // frames a camera did not finish in time
  std::map<std::pair<int, std::string>, Spread> stage_us;  // from the node's log
  RecordCounts counts;
  std::size_t tracks_last = 0;  // in the last "detected_wastes"
  int error_lines = 0;
  int warning_lines = 0;
  std::vector<std::string> parameters;  // the parameters files, then what the tool set over them
};

double framesPerSecond(const ReplaySummary & summary);
Json summaryJson(const ReplaySummary & summary);
// A few lines for the terminal.
std::string summaryText(const ReplaySummary & summary);

}  // namespace replay
