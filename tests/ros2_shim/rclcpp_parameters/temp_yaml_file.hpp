#pragma once

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>

// A YAML file with the given text, removed when the object goes away.
class TempYamlFile
{
public:
  explicit TempYamlFile(const std::string & text)
  {
    std::string pattern =
      (std::filesystem::temp_directory_path() / "parameters_XXXXXX.yaml").string();
    const int fd = mkstemps(pattern.data(), 5);
    if (fd < 0) {
      throw std::runtime_error("cannot create a temporary file");
    }
    close(fd);
    path_ = pattern;
    std::ofstream(path_) << text;
  }

  ~TempYamlFile() {std::filesystem::remove(path_);}

  TempYamlFile(const TempYamlFile &) = delete;
  TempYamlFile & operator=(const TempYamlFile &) = delete;

  const std::string & path() const {return path_;}

private:
  std::string path_;
};
