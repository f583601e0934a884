// The object_detect executable as a process: start, SIGINT, exit status.
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "process_runner.hpp"

namespace node_test
{
namespace
{

const std::vector<std::string> kEnvironment = {
  "SPDLOG_STDOUT=true", "SPDLOG_SYSTEMD=false", "SPDLOG_LEVEL=info",
  std::string("AMENT_PREFIX_PATH=") + QUORVANE_AMENT_PREFIX};

std::vector<std::string> errorLines(const std::string & output)
{
  std::vector<std::string> errors;
  std::istringstream stream(output);
  std::string line;
  while (std::getline(stream, line)) {
    if (line.find("[ERROR]") != std::string::npos) {errors.push_back(line);}
  }
  return errors;
}

TEST(Process, WithoutCamerasSpinsUntilSigint)
{
  const auto result = runProcess(
    OBJECT_DETECT, {"--ros-args", "-p", "cameras:=0"}, kEnvironment,
    std::chrono::milliseconds(2000));
  EXPECT_EQ(result.exit_status, 0) << result.output;
  EXPECT_TRUE(errorLines(result.output).empty()) << result.output;
}

TEST(Process, MissingTrackerFileEndsStartUpWithOneLine)
{
  const auto result = runProcess(
    OBJECT_DETECT, {"--ros-args", "-p", "cameras:=0", "-p", "tracker_config:=no_such_tracker.yaml"},
    kEnvironment);
  EXPECT_EQ(result.exit_status, 1) << result.output;
  const auto errors = errorLines(result.output);
  ASSERT_EQ(errors.size(), 1U) << result.output;
  EXPECT_NE(errors[0].find("no_such_tracker.yaml"), std::string::npos) << errors[0];
}

TEST(Process, BrokenParametersFileEndsStartUpWithOneLine)
{
  const std::string file = std::string(QUORVANE_SOURCE_DIR) + "/tests/node/fixtures/broken_parameters.yaml";
  const auto result = runProcess(OBJECT_DETECT, {"--ros-args", "--params-file", file}, kEnvironment);
  EXPECT_EQ(result.exit_status, 1) << result.output;
  const auto errors = errorLines(result.output);
  ASSERT_EQ(errors.size(), 1U) << result.output;
  EXPECT_NE(errors[0].find("broken_parameters.yaml"), std::string::npos) << errors[0];
}

TEST(Process, CameraConfigurationErrorEndsStartUpWithOneLine)
{
  const std::string meta =
    std::string(QUORVANE_SOURCE_DIR) + "/tests/node/fixtures/meta_without_model.yaml";
  const auto result = runProcess(
    OBJECT_DETECT, {"--ros-args", "-p", "cameras:=1", "-p", "model_meta_file:=" + meta, "-p",
      "cluster_file:=no_such_cluster.yaml"}, kEnvironment);
  EXPECT_EQ(result.exit_status, 1) << result.output;
  std::vector<std::string> failures;
  for (const auto & line : errorLines(result.output)) {
    if (line.find("object_detect failed") != std::string::npos) {failures.push_back(line);}
  }
  ASSERT_EQ(failures.size(), 1U) << result.output;
  EXPECT_NE(failures[0].find("no_such_cluster.yaml"), std::string::npos) << failures[0];
}

TEST(Process, SigintWhileACameraWaitsForCameraInfoEndsCleanly)
{
  const std::string meta =
    std::string(QUORVANE_SOURCE_DIR) + "/tests/node/fixtures/meta_without_model.yaml";
  const auto result = runProcess(
    OBJECT_DETECT, {"--ros-args", "-p", "cameras:=1", "-p", "model_meta_file:=" + meta, "-p",
      "model_height_file:=model_height.yaml"},
    kEnvironment, std::chrono::milliseconds(2500));
  EXPECT_EQ(result.exit_status, 0) << result.output;
  for (const auto & line : errorLines(result.output)) {
    EXPECT_EQ(line.find("object_detect failed"), std::string::npos) << line;
    EXPECT_EQ(line.find("ErrorCode:100700001"), std::string::npos) << line;
  }
}

}  // namespace
}  // namespace node_test
