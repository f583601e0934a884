#pragma once

#include <cstddef>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace replay
{

// Median and 95th percentile (nearest rank) of some values; zeros when empty.
struct Spread
{
  std::size_t count = 0;
  double median = 0.0;
  double p95 = 0.0;
};
Spread spreadOf(std::vector<double> values);

// What the node's log says of its speed and health: the "cam_N :<stage>
// runtime = T(us)" lines it writes with "debug" on, and how many lines are
// errors and warnings.  Thread-safe.
class RunTimes
{
public:
  void add(const std::string & line);

  // Per camera and stage, in microseconds.
  std::map<std::pair<int, std::string>, Spread> stages() const;
  int errors() const;
  int warnings() const;

private:
  mutable std::mutex mutex_;
  std::map<std::pair<int, std::string>, std::vector<double>> stages_;
  int errors_ = 0;
  int warnings_ = 0;
};

}  // namespace replay
