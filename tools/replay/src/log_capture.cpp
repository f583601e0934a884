#include "log_capture.hpp"

#include <unistd.h>

#include <cstdio>
#include <iostream>
#include <stdexcept>
#include <system_error>
#include <utility>

namespace replay
{

LogCapture::LogCapture(const std::string & file, std::function<void(const std::string &)> on_line)
: log_(file), on_line_(std::move(on_line))
{
  if (!log_) {
    throw std::runtime_error("cannot write " + file);
  }
  int ends[2];
  if (pipe(ends) != 0) {
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
        ssize_t got = 0;
        while ((got = read(read_end_, buffer, sizeof(buffer))) > 0) {
          pending.append(buffer, static_cast<std::size_t>(got));
          std::size_t end = 0;
          while ((end = pending.find('\n')) != std::string::npos) {
            const std::string line = pending.substr(0, end);
            pending.erase(0, end + 1);
            log_ << line << '\n';
            on_line_(line);
          }
        }
        if (!pending.empty()) {
          log_ << pending << '\n';
          on_line_(pending);
        }
        log_.flush();
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
}

}  // namespace replay
