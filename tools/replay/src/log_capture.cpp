#include "log_capture.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <iostream>
#include <stdexcept>
#include <system_error>
#include <utility>

namespace replay
{
namespace
{

void writeAll(int fd, const char * data, std::size_t size)
{
  while (size > 0) {
    const ssize_t written = write(fd, data, size);
    if (written < 0 && errno == EINTR) {
      continue;
    }
    if (written <= 0) {
      return;  // a full disk costs the log, not the replay
    }
    data += written;
    size -= static_cast<std::size_t>(written);
  }
}

}  // namespace

LogCapture::LogCapture(const std::string & file, std::function<void(const std::string &)> on_line)
: log_(open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644)),
  on_line_(std::move(on_line))
{
  if (log_ < 0) {
    throw std::runtime_error("cannot write " + file);
  }
  int ends[2];
  if (pipe(ends) != 0) {
    close(log_);
    throw std::system_error(errno, std::generic_category(), "pipe");
  }
  std::fflush(stdout);
  saved_stdout_ = dup(STDOUT_FILENO);
  dup2(ends[1], STDOUT_FILENO);
  close(ends[1]);
  read_end_ = ends[0];
  reader_ = std::thread([this] {
        std::string pending;
        char buffer[4096];
        for (;;) {
          const ssize_t got = read(read_end_, buffer, sizeof(buffer));
          if (got < 0 && errno == EINTR) {
            continue;
          }
          if (got <= 0) {
            break;
          }
          writeAll(log_, buffer, static_cast<std::size_t>(got));
          pending.append(buffer, static_cast<std::size_t>(got));
          std::size_t end = 0;
          while ((end = pending.find('\n')) != std::string::npos) {
            on_line_(pending.substr(0, end));
            pending.erase(0, end + 1);
          }
        }
        if (!pending.empty()) {
          writeAll(log_, "\n", 1);
          on_line_(pending);
        }
      });
}

LogCapture::~LogCapture()
{
  std::cout.flush();
  std::fflush(stdout);
  // The pipe's last write end closes here: the reader sees its end.
  dup2(saved_stdout_, STDOUT_FILENO);
  reader_.join();
  close(read_end_);
  close(saved_stdout_);
  close(log_);
}

}  // namespace replay
