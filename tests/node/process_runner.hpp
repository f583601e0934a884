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
// "NAME" alone removes the variable).  When `interrupt_when` is given, SIGINT
// is sent once it returns true for the output read so far (or after
// `interrupt_after` when it is empty and the time is non-zero).  The child is
// killed if it runs longer than `limit`.
ProcessResult runProcess(
  const std::string & program, const std::vector<std::string> & args,
  const std::vector<std::string> & environment,
  std::chrono::milliseconds interrupt_after = std::chrono::milliseconds(0),
  std::chrono::milliseconds limit = std::chrono::milliseconds(30000));

}  // namespace node_test
