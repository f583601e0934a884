#include "progress_bar.hpp"

#include <unistd.h>

#include <cstdio>
#include <string>

namespace replay
{

ProgressBar::ProgressBar(std::size_t total)
: total_(total), terminal_(isatty(STDERR_FILENO) == 1), start_(std::chrono::steady_clock::now())
{
}

void ProgressBar::show(std::size_t done)
{
  if (!terminal_ || total_ == 0) {
    return;
  }
  constexpr std::size_t kWidth = 30;
  const std::size_t filled = kWidth * done / total_;
  const double seconds =
    std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
  const double rate = seconds > 0.0 ? static_cast<double>(done) / seconds : 0.0;
  const double left = rate > 0.0 ? static_cast<double>(total_ - done) / rate : 0.0;
  std::fprintf(stderr, "\r[%s%s] %4zu/%zu frames  %5.1f frames/s  %4.0f s left ",
    std::string(filled, '#').c_str(), std::string(kWidth - filled, '.').c_str(), done, total_,
    rate, left);
  std::fflush(stderr);
}

void ProgressBar::note(const std::string & line)
{
  // Clears the bar's line; the next show() draws it again below.
  std::fprintf(stderr, terminal_ ? "\r\033[K%s\n" : "%s\n", line.c_str());
  std::fflush(stderr);
}

void ProgressBar::finish()
{
  if (terminal_) {
    std::fputc('\n', stderr);
  }
}

}  // namespace replay
