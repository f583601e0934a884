#pragma once
// Images and meta files for the colour-patch test network: solid patches of
// pure red, green or blue (classes 0, 1, 2) on black, one patch per colour.

#include <string>
#include <vector>

#include <opencv2/core.hpp>
#include <yaml-cpp/yaml.h>

namespace model_test {

struct Patch {
  int label;  // 0 red, 1 green, 2 blue
  cv::Rect rect;
};

inline cv::Mat drawScene(cv::Size size, const std::vector<Patch>& patches) {
  cv::Mat rgb(size, CV_8UC3, cv::Scalar::all(0));
  for (const Patch& p : patches) {
    cv::Scalar colour(0, 0, 0);
    colour[p.label] = 255;  // RGB order
    rgb(p.rect).setTo(colour);
  }
  return rgb;
}

inline YAML::Node colourPatchMeta(const std::string& model_file) {
  YAML::Node meta;
  meta["model_name"] = "yolov8_seg";
  meta["model_file"] = model_file;
  meta["input_width"] = 640;
  meta["input_height"] = 640;
  meta["num_classes"] = 3;
  return meta;
}

}  // namespace model_test
