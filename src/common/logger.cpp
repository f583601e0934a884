#include "quorvane_object_detect/logger.hpp"

#include <spdlog/sinks/ansicolor_sink.h>
#include <spdlog/sinks/systemd_sink.h>

#include <cstdlib>
#include <iostream>
#include <vector>

namespace quorvane
{

namespace
{

enum class Switch {kUnset, kTrue, kFalse, kInvalid};

Switch readSwitch(const char * name)
{
  const char * value = std::getenv(name);
  if (value == nullptr) {return Switch::kUnset;}
  const std::string text(value);
  if (text == "true") {return Switch::kTrue;}
  if (text == "false") {return Switch::kFalse;}
  return Switch::kInvalid;
}

// The texts of SPDLOG_LEVEL, in spdlog's level numbering.
int readLevel()
{
  static const char * const kNames[] = {"trace", "debug", "info", "warning", "error", "critical"};
  const char * value = std::getenv("SPDLOG_LEVEL");
  if (value == nullptr) {
    std::cout << "environment variable SPDLOG_LEVEL is not set, and set default level\n";
    return 2;
  }
  for (int level = 0; level < 6; ++level) {
    if (std::string(value) == kNames[level]) {return level;}
  }
  std::cout << "environment variable SPDLOG_LEVEL is invalid, and set default level\n";
  return 2;
}

const char * prefixFormat(spdlog::level::level_enum level)
{
  switch (level) {
    case spdlog::level::debug: return "{0:3d} [DEBUG] ";
    case spdlog::level::info: return "{0:3d} [INFO] ";
    case spdlog::level::warn: return "{0:3d} [WARN] ";
    default: return "{0:3d} [ERROR] ";
  }
}

}  // namespace

Logger & Logger::Instance()
{
  static Logger instance("spdlog");
  return instance;
}

Logger::Logger(const std::string & name)
{
  try {
    std::vector<spdlog::sink_ptr> sinks;
    switch (readSwitch("SPDLOG_STDOUT")) {
      case Switch::kUnset:
        std::cout << "environment variable SPDLOG_STDOUT is not set, and set true\n";
        sinks.push_back(std::make_shared<spdlog::sinks::ansicolor_stdout_sink_mt>());
        break;
      case Switch::kInvalid:
        std::cout << "environment variable SPDLOG_STDOUT is invalid, and set true\n";
        sinks.push_back(std::make_shared<spdlog::sinks::ansicolor_stdout_sink_mt>());
        break;
      case Switch::kTrue:
        sinks.push_back(std::make_shared<spdlog::sinks::ansicolor_stdout_sink_mt>());
        break;
      case Switch::kFalse:
        break;
    }
    switch (readSwitch("SPDLOG_SYSTEMD")) {
      case Switch::kUnset:
        std::cout << "environment variable SPDLOG_SYSTEMD is not set, and set false\n";
        break;
      case Switch::kInvalid:
        std::cout << "environment variable SPDLOG_SYSTEMD is invalid, and set false\n";
        break;
      case Switch::kTrue:
        sinks.push_back(std::make_shared<spdlog::sinks::systemd_sink_mt>());
        break;
      case Switch::kFalse:
        break;
    }
    logger_ = std::make_shared<spdlog::logger>(name, sinks.begin(), sinks.end());
    level_ = readLevel();
    logger_->set_level(static_cast<spdlog::level::level_enum>(level_));
    logger_->set_pattern("%v", spdlog::pattern_time_type::local);
  } catch (const spdlog::spdlog_ex &) {
    // Keep whatever was set up; logging must never stop the process.
  }
}

void Logger::write(
  spdlog::level::level_enum level, const spdlog::source_loc & where, const std::string & message)
{
  uint8_t number = count_.load(std::memory_order_relaxed);
  if (level_ <= static_cast<int>(level)) {
    number = static_cast<uint8_t>(count_.fetch_add(1, std::memory_order_relaxed) + 1);
  }
  if (!logger_) {return;}
  std::string line = fmt::format(fmt::runtime(prefixFormat(level)), number % 128);
  line += message;
  logger_->log(where, level, "{}", line);
}

}  // namespace quorvane
