#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "rclcpp/rclcpp.hpp"
#include "rclcpp_lifecycle/lifecycle_node.hpp"

namespace config_test
{

// rclcpp is brought up once per test program.
class RclcppEnvironment : public ::testing::Environment
{
public:
  void SetUp() override {rclcpp::init(0, nullptr);}
  void TearDown() override {rclcpp::shutdown();}
};

// A fresh folder, removed with everything in it when the object goes away.
class TempDir
{
public:
  TempDir()
  {
    std::string pattern = (std::filesystem::temp_directory_path() / "config_test_XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
      throw std::runtime_error("cannot create a temporary folder");
    }
    path_ = pattern;
  }
  ~TempDir() {std::filesystem::remove_all(path_);}
  TempDir(const TempDir &) = delete;
  TempDir & operator=(const TempDir &) = delete;

  const std::filesystem::path & path() const {return path_;}

  // Writes `text` to the relative `name` (folders made as needed); returns the full path.
  std::string write(const std::string & name, const std::string & text) const
  {
    const auto file = path_ / name;
    std::filesystem::create_directories(file.parent_path());
    std::ofstream(file) << text;
    return file.string();
  }

private:
  std::filesystem::path path_;
};

inline std::shared_ptr<rclcpp_lifecycle::LifecycleNode> makeNode(
  const std::vector<rclcpp::Parameter> & overrides = {},
  const std::vector<std::string> & arguments = {})
{
  return std::make_shared<rclcpp_lifecycle::LifecycleNode>(
    "object_detect",
    rclcpp::NodeOptions()
    .automatically_declare_parameters_from_overrides(true)
    .parameter_overrides(overrides)
    .arguments(arguments));
}

// The lines the process logger writes while `work` runs, without their
// rolling number: "[INFO] cam_1_debug = 1".
inline std::vector<std::string> captureLog(const std::function<void()> & work)
{
  ::testing::internal::CaptureStdout();
  try {
    work();
  } catch (...) {
    ::testing::internal::GetCapturedStdout();
    throw;
  }
  const std::string text = ::testing::internal::GetCapturedStdout();
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) {
      end = text.size();
    }
    const std::string line = text.substr(start, end - start);
    // "NNN [LEVEL] text": the number is right-aligned in three places.
    if (line.size() > 4 && line[3] == ' ' && line[4] == '[') {
      lines.push_back(line.substr(4));
    }
    start = end + 1;
  }
  return lines;
}

}  // namespace config_test
