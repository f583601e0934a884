#pragma once
// Images and meta files for the colour-patch test network: solid patches of
// pure colours (classes 0..5), one patch per colour, on a neutral background.

#include <string>
#include <vector>

#include <opencv2/core.hpp>
#include <yaml-cpp/yaml.h>

namespace model_test {

// Class -> colour in RGB order, as the node's "rgb8" images hold them.
const cv::Scalar kColours[] = {
    {255, 0, 0},    // red
    {0, 255, 0},    // green
    {0, 0, 255},    // blue
    {255, 255, 0},  // yellow
    {255, 0, 255},  // magenta
    {0, 255, 255},  // cyan
};
constexpr int kNumColours = sizeof(kColours) / sizeof(kColours[0]);

struct Patch {
  int label;  // index into kColours
  cv::Rect rect;
};

inline cv::Mat drawScene(cv::Size size, const std::vector<Patch>& patches,
                         const cv::Scalar& background = cv::Scalar::all(0)) {
  cv::Mat rgb(size, CV_8UC3, background);
  for (const Patch& p : patches) {
    rgb(p.rect).setTo(kColours[p.label]);
  }
  return rgb;
}

inline YAML::Node colourPatchMeta(const std::string& model_file) {
  YAML::Node meta;
  meta["model_name"] = "yolov8_seg";
  meta["model_file"] = model_file;
  meta["input_width"] = 640;
  meta["input_height"] = 640;
  meta["num_classes"] = kNumColours;
  return meta;
}

}  // namespace model_test
