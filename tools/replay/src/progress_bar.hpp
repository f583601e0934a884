#pragma once

#include <chrono>
#include <cstddef>

namespace replay
{

// "[#######.......]  120/300 frames  14.2 frames/s  13 s left" on standard
// error, redrawn in place; silent when standard error is not a terminal.
class ProgressBar
{
public:
  explicit ProgressBar(std::size_t total);
  void show(std::size_t done);
  // Ends the line.
  void finish();

private:
  std::size_t total_;
  bool terminal_;
  std::chrono::steady_clock::time_point start_;
};

}  // namespace replay
