#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "summary.hpp"

namespace replay
{

// One played frame as the index shows it; paths relative to the output folder.
struct FramePage
{
  std::size_t frame = 0;
  double t = 0.0;
  std::string top_down;
  std::vector<std::string> detection_images;
};

// index.html: the summary, and the frames stepped through with the arrow
// keys, buttons or the slider.
void writeIndex(const std::string & file, const std::vector<FramePage> & frames,
  const ReplaySummary & summary);

}  // namespace replay
