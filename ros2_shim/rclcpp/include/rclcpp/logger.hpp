#pragma once

#include <memory>
#include <string>

namespace rclcpp
{

class Logger;

/// The logger with the given name (its level defaults to Info).
Logger get_logger(const std::string & name);

/// A named logger; loggers with the same name share their level.
class Logger
{
public:
  enum class Level
  {
    Unset = 0,
    Debug = 10,
    Info = 20,
    Warn = 30,
    Error = 40,
    Fatal = 50,
  };

  Logger(const Logger &) = default;
  Logger & operator=(const Logger &) = default;

  /// The name, or nullptr for a logger that logs nothing.
  const char * get_name() const;

  /// The logger named "<this name>.<suffix>".
  Logger get_child(const std::string & suffix);

  /// Sets the threshold of every logger with this name.
  void set_level(Level level);

private:
  friend Logger rclcpp::get_logger(const std::string & name);
  Logger();
  explicit Logger(const std::string & name);

  std::shared_ptr<const std::string> name_;
};

namespace detail
{
/// True when a message of this severity passes the logger's threshold.
bool logger_enabled(const Logger & logger, Logger::Level severity);
/// Formats (printf style) and prints one log line to stderr.
void log_printf(
  const Logger & logger, Logger::Level severity, const char * file, int line,
  const char * format, ...) __attribute__((format(printf, 5, 6)));
void log_string(
  const Logger & logger, Logger::Level severity, const char * file, int line,
  const std::string & message);
}  // namespace detail

}  // namespace rclcpp
