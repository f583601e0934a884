#pragma once

#include <spdlog/spdlog.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>

namespace quorvane
{

// The process-wide logger.  Every line carries a rolling number (1..127, 0, ...)
// and its level in brackets; spdlog prints the line as it is ("%v").
// Set up once from SPDLOG_STDOUT, SPDLOG_SYSTEMD and SPDLOG_LEVEL.
class Logger
{
public:
  static Logger & Instance();

  Logger(const Logger &) = delete;
  Logger & operator=(const Logger &) = delete;

  template<typename ... Args>
  void log(
    spdlog::level::level_enum level, const spdlog::source_loc & where,
    fmt::format_string<Args...> text, Args && ... args)
  {
    write(level, where, fmt::format(text, std::forward<Args>(args)...));
  }

  int level() const {return level_;}

private:
  explicit Logger(const std::string & name);
  void write(spdlog::level::level_enum level, const spdlog::source_loc & where,
    const std::string & message);

  std::shared_ptr<spdlog::logger> logger_;
  // Shared by every logging thread; lines may share or skip numbers, never corrupt them.
  std::atomic<uint8_t> count_{0};
  int level_{2};
};

}  // namespace quorvane

// A line filed under `function`: the step it belongs to, whichever helper
// function writes it.
#define QLOG_AS(function, level, ...) \
  ::quorvane::Logger::Instance().log( \
    level, spdlog::source_loc{__FILE__, __LINE__, function}, __VA_ARGS__)

#define QUORVANE_LOG_AT(level, ...) \
  QLOG_AS(static_cast<const char *>(__func__), level, __VA_ARGS__)

#define QLOG_DEBUG(...) QUORVANE_LOG_AT(spdlog::level::debug, __VA_ARGS__)
#define QLOG_INFO(...) QUORVANE_LOG_AT(spdlog::level::info, __VA_ARGS__)
#define QLOG_WARN(...) QUORVANE_LOG_AT(spdlog::level::warn, __VA_ARGS__)
#define QLOG_ERROR(...) QUORVANE_LOG_AT(spdlog::level::err, __VA_ARGS__)
