#include "message_pixels.hpp"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>
#include <string>

#include "cv_bridge/cv_bridge.h"

namespace cv_bridge
{
namespace detail
{
namespace
{

constexpr bool kHostIsBigEndian = __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__;

std::string describe(const sensor_msgs::msg::Image & source)
{
  return "[" + source.encoding + "] " + std::to_string(source.width) + "x" +
         std::to_string(source.height) + " step " + std::to_string(source.step) +
         " data " + std::to_string(source.data.size());
}

}  // namespace

MessagePixels messagePixels(const sensor_msgs::msg::Image & source)
{
  const int cv_type = getCvType(source.encoding);
  const uint64_t element_bytes = CV_ELEM_SIZE1(cv_type);
  const uint64_t channels = CV_MAT_CN(cv_type);

  if (source.width > static_cast<uint32_t>(INT_MAX) ||
    source.height > static_cast<uint32_t>(INT_MAX))
  {
    throw Exception("Image is wrongly formed: dimensions too large, " + describe(source));
  }
  const uint64_t row_bytes = uint64_t{source.width} * element_bytes * channels;
  if (uint64_t{source.step} < row_bytes) {
    throw Exception(
            "Image is wrongly formed: step < width * byte_depth * num_channels, " +
            describe(source));
  }
  if (uint64_t{source.height} * source.step != source.data.size()) {
    throw Exception("Image is wrongly formed: height * step != data size, " + describe(source));
  }

  const int rows = static_cast<int>(source.height);
  const int cols = static_cast<int>(source.width);
  if (rows == 0 || cols == 0) {
    return {cv::Mat(rows, cols, cv_type), false};
  }

  const bool swap_bytes = element_bytes > 1 && (source.is_bigendian != 0) != kHostIsBigEndian;
  if (!swap_bytes && source.step % element_bytes == 0) {
    // The message outlives this view only through the caller's tracking.
    auto * data = const_cast<uint8_t *>(source.data.data());
    return {cv::Mat(rows, cols, cv_type, data, source.step), true};
  }

  cv::Mat compact(rows, cols, cv_type);
  const uint64_t elements_per_row = uint64_t{source.width} * channels;
  for (int r = 0; r < rows; ++r) {
    const uint8_t * in = source.data.data() + uint64_t(r) * source.step;
    uint8_t * out = compact.ptr<uint8_t>(r);
    std::memcpy(out, in, row_bytes);
    if (swap_bytes) {
      for (uint64_t e = 0; e < elements_per_row; ++e) {
        std::reverse(out + e * element_bytes, out + (e + 1) * element_bytes);
      }
    }
  }
  return {compact, false};
}

}  // namespace detail
}  // namespace cv_bridge
