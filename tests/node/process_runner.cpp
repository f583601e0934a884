#include "process_runner.hpp"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

namespace node_test
{
namespace
{

// Whether the process has a handler for SIGINT, from its caught-signal mask.
bool catchesSigint(pid_t pid)
{
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("SigCgt:", 0) == 0) {
      const unsigned long long mask = std::strtoull(line.c_str() + 7, nullptr, 16);
      return (mask >> (SIGINT - 1)) & 1U;
    }
  }
  return false;
}

}  // namespace

ProcessResult runProcess(
  const std::string & program, const std::vector<std::string> & args,
  const std::vector<std::string> & environment, std::chrono::milliseconds interrupt_after,
  std::chrono::milliseconds limit)
{
  int out[2];
  if (pipe(out) != 0) {return {};}
  const pid_t child = fork();
  if (child == 0) {
    dup2(out[1], STDOUT_FILENO);
    close(out[0]);
    close(out[1]);
    for (const auto & entry : environment) {
      const auto equals = entry.find('=');
      if (equals == std::string::npos) {
        unsetenv(entry.c_str());
      } else {
        setenv(entry.substr(0, equals).c_str(), entry.substr(equals + 1).c_str(), 1);
      }
    }
    std::vector<char *> argv;
    argv.push_back(const_cast<char *>(program.c_str()));
    for (const auto & arg : args) {argv.push_back(const_cast<char *>(arg.c_str()));}
    argv.push_back(nullptr);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  close(out[1]);

  ProcessResult result;
  const auto start = std::chrono::steady_clock::now();
  bool interrupted = false;
  bool killed = false;
  char buffer[4096];
  while (true) {
    const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now() - start);
    if (!interrupted && interrupt_after.count() > 0 && elapsed >= interrupt_after &&
      catchesSigint(child))
    {
      kill(child, SIGINT);
      interrupted = true;
    }
    if (!killed && elapsed >= limit) {
      kill(child, SIGKILL);
      killed = true;
    }
    pollfd descriptor{out[0], POLLIN, 0};
    if (poll(&descriptor, 1, 20) > 0) {
      const ssize_t got = read(out[0], buffer, sizeof(buffer));
      if (got <= 0) {break;}  // the child closed its output
      result.output.append(buffer, static_cast<std::size_t>(got));
    }
  }
  close(out[0]);
  int status = 0;
  waitpid(child, &status, 0);
  result.exit_status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

}  // namespace node_test
