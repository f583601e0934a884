#pragma once

#include <chrono>
#include <cstddef>
#include <string>

namespace replay
{

// "[#######.......]  120/300 frames  14.2 frames/s  13 s left" on standard
// error, redrawn in place; silent when standard error is not a terminal.
class ProgressBar
{
public:
  explicit ProgressBar(std::size_t total);
  void show(std::size_t done);
  // A line of its own above the bar, also when standard error is no terminal.
  void note(const std::string & line);
  // Ends the line.
  void finish();

private:
  std::size_t total_;
  bool terminal_;
  std::chrono::steady_clock::time_point start_;
};

}  // namespace replay
