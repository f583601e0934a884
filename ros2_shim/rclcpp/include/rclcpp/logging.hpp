// printf-style and stream-style log macros writing one line to stderr.
#pragma once

#include <chrono>
#include <mutex>
#include <sstream>

#include "rclcpp/clock.hpp"
#include "rclcpp/logger.hpp"

#define RCLCPP_LOG_IMPL_(logger, severity, condition, ...) \
  do { \
    const ::rclcpp::Logger & rclcpp_log_logger_ = (logger); \
    if (::rclcpp::detail::logger_enabled(rclcpp_log_logger_, severity) && (condition)) { \
      ::rclcpp::detail::log_printf( \
        rclcpp_log_logger_, severity, __FILE__, __LINE__, __VA_ARGS__); \
    } \
  } while (0)

#define RCLCPP_LOG_STREAM_IMPL_(logger, severity, condition, stream_arg) \
  do { \
    const ::rclcpp::Logger & rclcpp_log_logger_ = (logger); \
    if (::rclcpp::detail::logger_enabled(rclcpp_log_logger_, severity) && (condition)) { \
      std::stringstream rclcpp_stream_ss_; \
      rclcpp_stream_ss_ << stream_arg; \
      ::rclcpp::detail::log_string( \
        rclcpp_log_logger_, severity, __FILE__, __LINE__, rclcpp_stream_ss_.str()); \
    } \
  } while (0)

// Condition helpers: each call site keeps its own state.
#define RCLCPP_LOG_ONCE_COND_ \
  [] { \
    static std::once_flag rclcpp_once_; bool first_ = false; \
    std::call_once(rclcpp_once_, [&] {first_ = true;}); return first_; \
  } ()

#define RCLCPP_LOG_THROTTLE_COND_(clock, duration_ms) \
  [&rclcpp_throttle_clock_ = (clock), rclcpp_throttle_ms_ = (duration_ms)] { \
    static std::mutex rclcpp_mutex_; static bool rclcpp_logged_ = false; \
    static int64_t rclcpp_last_ns_ = 0; \
    const int64_t now_ = rclcpp_throttle_clock_.now().nanoseconds(); \
    std::lock_guard<std::mutex> lock_(rclcpp_mutex_); \
    if (rclcpp_logged_ && now_ - rclcpp_last_ns_ < \
    static_cast<int64_t>(rclcpp_throttle_ms_) * 1000000) {return false;} \
    rclcpp_logged_ = true; rclcpp_last_ns_ = now_; return true; \
  } ()

#define RCLCPP_DEBUG(logger, ...) \
  RCLCPP_LOG_IMPL_(logger, ::rclcpp::Logger::Level::Debug, true, __VA_ARGS__)
#define RCLCPP_INFO(logger, ...) \
  RCLCPP_LOG_IMPL_(logger, ::rclcpp::Logger::Level::Info, true, __VA_ARGS__)
#define RCLCPP_WARN(logger, ...) \
  RCLCPP_LOG_IMPL_(logger, ::rclcpp::Logger::Level::Warn, true, __VA_ARGS__)
#define RCLCPP_ERROR(logger, ...) \
  RCLCPP_LOG_IMPL_(logger, ::rclcpp::Logger::Level::Error, true, __VA_ARGS__)
#define RCLCPP_FATAL(logger, ...) \
  RCLCPP_LOG_IMPL_(logger, ::rclcpp::Logger::Level::Fatal, true, __VA_ARGS__)

#define RCLCPP_DEBUG_STREAM(logger, s) \
  RCLCPP_LOG_STREAM_IMPL_(logger, ::rclcpp::Logger::Level::Debug, true, s)
#define RCLCPP_INFO_STREAM(logger, s) \
  RCLCPP_LOG_STREAM_IMPL_(logger, ::rclcpp::Logger::Level::Info, true, s)
#define RCLCPP_WARN_STREAM(logger, s) \
  RCLCPP_LOG_STREAM_IMPL_(logger, ::rclcpp::Logger::Level::Warn, true, s)
#define RCLCPP_ERROR_STREAM(logger, s) \
  RCLCPP_LOG_STREAM_IMPL_(logger, ::rclcpp::Logger::Level::Error, true, s)
#define RCLCPP_FATAL_STREAM(logger, s) \
  RCLCPP_LOG_STREAM_IMPL_(logger, ::rclcpp::Logger::Level::Fatal, true, s)

#define RCLCPP_DEBUG_ONCE(logger, ...) \
  RCLCPP_LOG_IMPL_(logger, ::rclcpp::Logger::Level::Debug, RCLCPP_LOG_ONCE_COND_, __VA_ARGS__)
#define RCLCPP_INFO_ONCE(logger, ...) \
  RCLCPP_LOG_IMPL_(logger, ::rclcpp::Logger::Level::Info, RCLCPP_LOG_ONCE_COND_, __VA_ARGS__)
#define RCLCPP_WARN_ONCE(logger, ...) \
  RCLCPP_LOG_IMPL_(logger, ::rclcpp::Logger::Level::Warn, RCLCPP_LOG_ONCE_COND_, __VA_ARGS__)
#define RCLCPP_ERROR_ONCE(logger, ...) \
  RCLCPP_LOG_IMPL_(logger, ::rclcpp::Logger::Level::Error, RCLCPP_LOG_ONCE_COND_, __VA_ARGS__)

#define RCLCPP_DEBUG_THROTTLE(logger, clock, duration, ...) \
  RCLCPP_LOG_IMPL_( \
    logger, ::rclcpp::Logger::Level::Debug, RCLCPP_LOG_THROTTLE_COND_(clock, duration), __VA_ARGS__)
#define RCLCPP_INFO_THROTTLE(logger, clock, duration, ...) \
  RCLCPP_LOG_IMPL_( \
    logger, ::rclcpp::Logger::Level::Info, RCLCPP_LOG_THROTTLE_COND_(clock, duration), __VA_ARGS__)
#define RCLCPP_WARN_THROTTLE(logger, clock, duration, ...) \
  RCLCPP_LOG_IMPL_( \
    logger, ::rclcpp::Logger::Level::Warn, RCLCPP_LOG_THROTTLE_COND_(clock, duration), __VA_ARGS__)
#define RCLCPP_ERROR_THROTTLE(logger, clock, duration, ...) \
  RCLCPP_LOG_IMPL_( \
    logger, ::rclcpp::Logger::Level::Error, RCLCPP_LOG_THROTTLE_COND_(clock, duration), __VA_ARGS__)
