// SIGINT/SIGTERM handling.  The handler itself only writes the signal number
// into a pipe (write() is async-signal-safe); a watcher thread reads it and
// shuts the contexts down outside signal context.
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cstring>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>

#include "rclcpp/logging.hpp"
#include "rclcpp/utilities.hpp"

namespace rclcpp
{
namespace
{

// Written by install/uninstall under the mutex, read by the handler.
volatile sig_atomic_t g_write_fd = -1;
struct sigaction g_old_sigint;
struct sigaction g_old_sigterm;

constexpr char kStopWatcher = 0;

struct State;
void uninstall_locked(State & s);

struct State
{
  // A process may end without rclcpp::shutdown; a joinable watcher thread
  // would then abort it.
  ~State()
  {
    std::lock_guard<std::mutex> lock(mutex);
    uninstall_locked(*this);
  }

  std::mutex mutex;
  bool installed = false;
  SignalHandlerOptions options = SignalHandlerOptions::None;
  int pipe_fds[2] = {-1, -1};
  std::thread watcher;
};

State & state()
{
  static State instance;
  return instance;
}

void chain(const struct sigaction & old, int signum, siginfo_t * info, void * context)
{
  if (old.sa_flags & SA_SIGINFO) {
    if (old.sa_sigaction != nullptr) {
      old.sa_sigaction(signum, info, context);
    }
  } else if (old.sa_handler != SIG_DFL && old.sa_handler != SIG_IGN && old.sa_handler != nullptr) {
    old.sa_handler(signum);
  }
}

extern "C" void on_signal(int signum, siginfo_t * info, void * context)
{
  const int saved_errno = errno;
  const int fd = g_write_fd;
  if (fd >= 0) {
    const char byte = static_cast<char>(signum);
    ssize_t ignored = ::write(fd, &byte, 1);
    (void)ignored;
  }
  chain(signum == SIGINT ? g_old_sigint : g_old_sigterm, signum, info, context);
  errno = saved_errno;
}

void watch(int read_fd)
{
  for (;;) {
    char byte = kStopWatcher;
    const ssize_t got = ::read(read_fd, &byte, 1);
    if (got < 0 && errno == EINTR) {
      continue;
    }
    if (got <= 0 || byte == kStopWatcher) {
      return;
    }
    RCLCPP_INFO(rclcpp::get_logger("rclcpp"), "signal_handler(signum=%d)", static_cast<int>(byte));
    for (const auto & context : get_contexts()) {
      if (context->get_init_options().shutdown_on_signal) {
        context->shutdown("signal handler");
      }
    }
  }
}

bool handles(SignalHandlerOptions options, int signum)
{
  switch (options) {
    case SignalHandlerOptions::All: return true;
    case SignalHandlerOptions::SigInt: return signum == SIGINT;
    case SignalHandlerOptions::SigTerm: return signum == SIGTERM;
    case SignalHandlerOptions::None: return false;
  }
  return false;
}

void set_handler(int signum, struct sigaction * old)
{
  struct sigaction action;
  std::memset(&action, 0, sizeof(action));
  sigemptyset(&action.sa_mask);
  action.sa_sigaction = on_signal;
  action.sa_flags = SA_SIGINFO | SA_RESTART;
  if (::sigaction(signum, &action, old) != 0) {
    throw std::runtime_error(std::string("failed to install a signal handler: ") + std::strerror(errno));
  }
}

void uninstall_locked(State & s)
{
  if (!s.installed) {
    return;
  }
  if (handles(s.options, SIGINT)) {
    ::sigaction(SIGINT, &g_old_sigint, nullptr);
  }
  if (handles(s.options, SIGTERM)) {
    ::sigaction(SIGTERM, &g_old_sigterm, nullptr);
  }
  g_write_fd = -1;
  const char stop = kStopWatcher;
  ssize_t ignored = ::write(s.pipe_fds[1], &stop, 1);
  (void)ignored;
  if (s.watcher.get_id() == std::this_thread::get_id()) {
    // Uninstalled from a shutdown callback run by the watcher itself.
    s.watcher.detach();
  } else {
    s.watcher.join();
  }
  ::close(s.pipe_fds[0]);
  ::close(s.pipe_fds[1]);
  s.pipe_fds[0] = s.pipe_fds[1] = -1;
  s.installed = false;
  s.options = SignalHandlerOptions::None;
}

}  // namespace

bool install_signal_handlers(SignalHandlerOptions signal_handler_options)
{
  auto & s = state();
  std::lock_guard<std::mutex> lock(s.mutex);
  if (s.installed) {
    return false;
  }
  if (signal_handler_options == SignalHandlerOptions::None) {
    s.options = signal_handler_options;
    return true;
  }
  if (::pipe2(s.pipe_fds, O_CLOEXEC) != 0) {
    throw std::runtime_error(std::string("failed to create the signal pipe: ") + std::strerror(errno));
  }
  // A full pipe must never block the handler: drop the byte instead.
  ::fcntl(s.pipe_fds[1], F_SETFL, ::fcntl(s.pipe_fds[1], F_GETFL) | O_NONBLOCK);
  g_write_fd = s.pipe_fds[1];
  s.watcher = std::thread(watch, s.pipe_fds[0]);
  if (handles(signal_handler_options, SIGINT)) {
    set_handler(SIGINT, &g_old_sigint);
  }
  if (handles(signal_handler_options, SIGTERM)) {
    set_handler(SIGTERM, &g_old_sigterm);
  }
  s.options = signal_handler_options;
  s.installed = true;
  return true;
}

bool signal_handlers_installed()
{
  auto & s = state();
  std::lock_guard<std::mutex> lock(s.mutex);
  return s.installed;
}

SignalHandlerOptions get_current_signal_handler_options()
{
  auto & s = state();
  std::lock_guard<std::mutex> lock(s.mutex);
  return s.installed ? s.options : SignalHandlerOptions::None;
}

bool uninstall_signal_handlers()
{
  auto & s = state();
  std::lock_guard<std::mutex> lock(s.mutex);
  if (!s.installed) {
    return false;
  }
  uninstall_locked(s);
  return true;
}

}  // namespace rclcpp
