#include <cstdarg>
#include <cstdio>
#include <ctime>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "rclcpp/logger.hpp"

namespace rclcpp
{
namespace
{

struct Levels
{
  std::mutex mutex;
  std::unordered_map<std::string, Logger::Level> by_name;
};

// Never destroyed, so threads still logging at exit find it intact.
Levels & levels()
{
  static Levels * instance = new Levels;
  return *instance;
}

// Unset loggers inherit from their dotted parent, the root defaults to Info.
Logger::Level effective_level(const std::string & name)
{
  auto & l = levels();
  std::lock_guard<std::mutex> lock(l.mutex);
  std::string current = name;
  for (;;) {
    auto found = l.by_name.find(current);
    if (found != l.by_name.end() && found->second != Logger::Level::Unset) {
      return found->second;
    }
    const auto dot = current.rfind('.');
    if (dot == std::string::npos) {
      return Logger::Level::Info;
    }
    current.resize(dot);
  }
}

const char * severity_name(Logger::Level severity)
{
  switch (severity) {
    case Logger::Level::Debug: return "DEBUG";
    case Logger::Level::Info: return "INFO";
    case Logger::Level::Warn: return "WARN";
    case Logger::Level::Error: return "ERROR";
    case Logger::Level::Fatal: return "FATAL";
    case Logger::Level::Unset: break;
  }
  return "UNSET";
}

}  // namespace

Logger get_logger(const std::string & name) {return Logger(name);}

Logger::Logger() = default;

Logger::Logger(const std::string & name)
: name_(std::make_shared<const std::string>(name)) {}

const char * Logger::get_name() const {return name_ ? name_->c_str() : nullptr;}

Logger Logger::get_child(const std::string & suffix)
{
  if (!name_) {
    return Logger();
  }
  return Logger(*name_ + "." + suffix);
}

void Logger::set_level(Level level)
{
  if (!name_) {
    return;
  }
  auto & l = levels();
  std::lock_guard<std::mutex> lock(l.mutex);
  l.by_name[*name_] = level;
}

namespace detail
{

bool logger_enabled(const Logger & logger, Logger::Level severity)
{
  const char * name = logger.get_name();
  return name != nullptr && severity >= effective_level(name);
}

void log_string(
  const Logger & logger, Logger::Level severity, const char *, int, const std::string & message)
{
  timespec now{};
  ::clock_gettime(CLOCK_REALTIME, &now);
  // One fprintf per line keeps lines from different threads whole.
  std::fprintf(
    stderr, "[%s] [%lld.%09ld] [%s]: %s\n", severity_name(severity),
    static_cast<long long>(now.tv_sec), static_cast<long>(now.tv_nsec),
    logger.get_name() != nullptr ? logger.get_name() : "", message.c_str());
}

void log_printf(
  const Logger & logger, Logger::Level severity, const char * file, int line,
  const char * format, ...)
{
  va_list args;
  va_start(args, format);
  va_list copy;
  va_copy(copy, args);
  const int needed = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  std::string message;
  if (needed > 0) {
    std::vector<char> buffer(static_cast<size_t>(needed) + 1);
    std::vsnprintf(buffer.data(), buffer.size(), format, args);
    message.assign(buffer.data(), static_cast<size_t>(needed));
  }
  va_end(args);
  log_string(logger, severity, file, line, message);
}

}  // namespace detail
}  // namespace rclcpp
