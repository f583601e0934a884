#include "run_times.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace replay
{

Spread spreadOf(std::vector<double> values)
{
  Spread spread;
  spread.count = values.size();
  if (values.empty()) {
    return spread;
  }
  std::sort(values.begin(), values.end());
  const std::size_t n = values.size();
  spread.median = n % 2 ? values[n / 2] : 0.5 * (values[n / 2 - 1] + values[n / 2]);
  spread.p95 = values[static_cast<std::size_t>(std::ceil(0.95 * static_cast<double>(n))) - 1];
  return spread;
}

void RunTimes::add(const std::string & line)
{
  const bool error = line.find("[ERROR] ") != std::string::npos;
  const bool warning = line.find("[WARN] ") != std::string::npos;
  // "cam_1 :<process> runtime = 812(us)", also "cam_1 :Func<name> runtime = ...".
  const std::size_t runtime = line.find("> runtime = ");
  const std::size_t camera = line.find("cam_");
  const std::size_t open = line.rfind('<', runtime);
  int id = 0;
  long micros = 0;
  char unit[8] = {};
  const bool timed = runtime != std::string::npos && camera != std::string::npos &&
    open != std::string::npos && camera < open &&
    std::sscanf(line.c_str() + camera, "cam_%d", &id) == 1 &&
    std::sscanf(line.c_str() + runtime, "> runtime = %ld(%2[a-z])", &micros, unit) == 2 &&
    std::string(unit) == "us";
  std::lock_guard<std::mutex> lock(mutex_);
  errors_ += error;
  warnings_ += warning;
  if (timed) {
    stages_[{id, line.substr(open + 1, runtime - open - 1)}].push_back(static_cast<double>(micros));
  }
}

std::map<std::pair<int, std::string>, Spread> RunTimes::stages() const
{
  std::lock_guard<std::mutex> lock(mutex_);
  std::map<std::pair<int, std::string>, Spread> out;
  for (const auto & [key, values] : stages_) {
    out[key] = spreadOf(values);
  }
  return out;
}

int RunTimes::errors() const
{
  std::lock_guard<std::mutex> lock(mutex_);
  return errors_;
}

int RunTimes::warnings() const
{
  std::lock_guard<std::mutex> lock(mutex_);
  return warnings_;
}

}  // namespace replay
