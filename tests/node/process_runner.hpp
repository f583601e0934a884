#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace node_test
{

struct ProcessResult
{
  int exit_status = -1;  // -1 when it did not exit normally
  std::string output;    // standard output
};

// Runs `program` with `args` and the extra environment entries ("NAME=value";
// "NAME" alone removes the variable).  When `interrupt_after` is non-zero,
// SIGINT is sent once that time has passed and the child catches SIGINT: a
// slow start (a sanitizer build on a loaded machine) must not meet the
// default action.  The child is killed if it runs longer than `limit`.
ProcessResult runProcess(
  const std::string & program, const std::vector<std::string> & args,
  const std::vector<std::string> & environment,
  std::chrono::milliseconds interrupt_after = std::chrono::milliseconds(0),
  std::chrono::milliseconds limit = std::chrono::milliseconds(30000));

}  // namespace node_test
