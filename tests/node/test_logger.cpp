// The process logger, observed from outside: each case runs the probe program
// with its own environment, since the logger reads it once per process.
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "process_runner.hpp"

namespace node_test
{
namespace
{

const char * const kNotSetStdout = "environment variable SPDLOG_STDOUT is not set, and set true";
const char * const kInvalidStdout = "environment variable SPDLOG_STDOUT is invalid, and set true";
const char * const kNotSetSystemd =
  "environment variable SPDLOG_SYSTEMD is not set, and set false";
const char * const kInvalidSystemd =
  "environment variable SPDLOG_SYSTEMD is invalid, and set false";
const char * const kNotSetLevel =
  "environment variable SPDLOG_LEVEL is not set, and set default level";
const char * const kInvalidLevel =
  "environment variable SPDLOG_LEVEL is invalid, and set default level";

std::vector<std::string> linesOf(const std::string & output)
{
  std::vector<std::string> lines;
  std::istringstream stream(output);
  std::string line;
  while (std::getline(stream, line)) {lines.push_back(line);}
  return lines;
}

std::vector<std::string> probe(
  const std::vector<std::string> & environment, const std::vector<std::string> & args)
{
  const auto result = runProcess(LOGGER_PROBE, args, environment);
  EXPECT_EQ(result.exit_status, 0);
  return linesOf(result.output);
}

TEST(Logger, EnvironmentVariables)
{
  struct Case
  {
    const char * name;
    std::vector<std::string> environment;
    std::vector<std::string> args;
    std::vector<std::string> expected;
  };
  const std::vector<Case> cases = {
    {"nothing set: stdout, no journal, info",
      {"SPDLOG_STDOUT", "SPDLOG_SYSTEMD", "SPDLOG_LEVEL"}, {"d", "i", "e"},
      {kNotSetStdout, kNotSetSystemd, kNotSetLevel, "  1 [INFO] probe line 2",
        "  2 [ERROR] probe line 3"}},
    {"stdout false: nothing written",
      {"SPDLOG_STDOUT=false", "SPDLOG_SYSTEMD", "SPDLOG_LEVEL"}, {"i", "e"},
      {kNotSetSystemd, kNotSetLevel}},
    {"upper-case TRUE is invalid and means true",
      {"SPDLOG_STDOUT=TRUE", "SPDLOG_SYSTEMD=false", "SPDLOG_LEVEL=info"}, {"i"},
      {kInvalidStdout, "  1 [INFO] probe line 1"}},
    {"invalid journal switch means no journal",
      {"SPDLOG_STDOUT=true", "SPDLOG_SYSTEMD=yes", "SPDLOG_LEVEL=error"}, {"w", "e"},
      {kInvalidSystemd, "  1 [ERROR] probe line 2"}},
    {"warn is not a level name",
      {"SPDLOG_STDOUT=true", "SPDLOG_SYSTEMD=false", "SPDLOG_LEVEL=warn"}, {"d", "i"},
      {kInvalidLevel, "  1 [INFO] probe line 2"}},
    {"lines below the level are neither written nor counted",
      {"SPDLOG_STDOUT=true", "SPDLOG_SYSTEMD=false", "SPDLOG_LEVEL=warning"},
      {"i", "w", "i", "e"}, {"  1 [WARN] probe line 2", "  2 [ERROR] probe line 4"}},
    {"critical suppresses every line",
      {"SPDLOG_STDOUT=true", "SPDLOG_SYSTEMD=false", "SPDLOG_LEVEL=critical"},
      {"d", "i", "w", "e"}, {}},
    {"debug shows every level",
      {"SPDLOG_STDOUT=true", "SPDLOG_SYSTEMD=false", "SPDLOG_LEVEL=debug"}, {"d", "i", "w", "e"},
      {"  1 [DEBUG] probe line 1", "  2 [INFO] probe line 2", "  3 [WARN] probe line 3",
        "  4 [ERROR] probe line 4"}},
    {"the logger is made on first use only",
      {"SPDLOG_STDOUT", "SPDLOG_SYSTEMD", "SPDLOG_LEVEL"}, {}, {}},
  };
  for (const auto & c : cases) {
    EXPECT_EQ(probe(c.environment, c.args), c.expected) << c.name;
  }
}

TEST(Logger, JournalSinkKeepsStandardOutput)
{
  const auto lines =
    probe({"SPDLOG_STDOUT=true", "SPDLOG_SYSTEMD=true", "SPDLOG_LEVEL=info"}, {"i"});
  EXPECT_EQ(lines, std::vector<std::string>{"  1 [INFO] probe line 1"});
}

TEST(Logger, CounterWrapsAfter127)
{
  const auto lines =
    probe({"SPDLOG_STDOUT=true", "SPDLOG_SYSTEMD=false", "SPDLOG_LEVEL=debug"}, {"d300"});
  ASSERT_EQ(lines.size(), 300U);
  EXPECT_EQ(lines[0], "  1 [DEBUG] probe line 1");
  EXPECT_EQ(lines[126], "127 [DEBUG] probe line 127");
  EXPECT_EQ(lines[127], "  0 [DEBUG] probe line 128");
  EXPECT_EQ(lines[128], "  1 [DEBUG] probe line 129");
  // The counter itself wraps at 256, which is 0 modulo 128 as well.
  EXPECT_EQ(lines[255], "  0 [DEBUG] probe line 256");
  EXPECT_EQ(lines[256], "  1 [DEBUG] probe line 257");
}

}  // namespace
}  // namespace node_test
