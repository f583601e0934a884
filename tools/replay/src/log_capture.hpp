#pragma once

#include <functional>
#include <string>
#include <thread>

namespace replay
{

// The node logs to standard output.  While this lives, standard output goes
// into `file` and, line by line, to `on_line` (on a thread of its own): the
// terminal keeps the progress bar on standard error.  What the node wrote is
// in the file as soon as it is read, unbuffered: a second Ctrl-C or a crash
// loses none of it.
class LogCapture
{
public:
  LogCapture(const std::string & file, std::function<void(const std::string &)> on_line);
  // Restores standard output and waits for the last line.
  ~LogCapture();

  LogCapture(const LogCapture &) = delete;
  LogCapture & operator=(const LogCapture &) = delete;

private:
  int saved_stdout_ = -1;
  int read_end_ = -1;
  int log_ = -1;
  std::function<void(const std::string &)> on_line_;
  std::thread reader_;
};

}  // namespace replay
