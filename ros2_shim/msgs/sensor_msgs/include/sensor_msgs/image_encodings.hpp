#pragma once

// Names of the pixel encodings carried in sensor_msgs::msg::Image::encoding
// and the facts derived from them (channel count, bit depth, colour kind).

#include <cctype>
#include <stdexcept>
#include <string>

namespace sensor_msgs
{
namespace image_encodings
{

const char RGB8[] = "rgb8";
const char RGBA8[] = "rgba8";
const char RGB16[] = "rgb16";
const char RGBA16[] = "rgba16";
const char BGR8[] = "bgr8";
const char BGRA8[] = "bgra8";
const char BGR16[] = "bgr16";
const char BGRA16[] = "bgra16";
const char MONO8[] = "mono8";
const char MONO16[] = "mono16";

const char TYPE_8UC1[] = "8UC1";
const char TYPE_8UC2[] = "8UC2";
const char TYPE_8UC3[] = "8UC3";
const char TYPE_8UC4[] = "8UC4";
const char TYPE_8SC1[] = "8SC1";
const char TYPE_8SC2[] = "8SC2";
const char TYPE_8SC3[] = "8SC3";
const char TYPE_8SC4[] = "8SC4";
const char TYPE_16UC1[] = "16UC1";
const char TYPE_16UC2[] = "16UC2";
const char TYPE_16UC3[] = "16UC3";
const char TYPE_16UC4[] = "16UC4";
const char TYPE_16SC1[] = "16SC1";
const char TYPE_16SC2[] = "16SC2";
const char TYPE_16SC3[] = "16SC3";
const char TYPE_16SC4[] = "16SC4";
const char TYPE_32SC1[] = "32SC1";
const char TYPE_32SC2[] = "32SC2";
const char TYPE_32SC3[] = "32SC3";
const char TYPE_32SC4[] = "32SC4";
const char TYPE_32FC1[] = "32FC1";
const char TYPE_32FC2[] = "32FC2";
const char TYPE_32FC3[] = "32FC3";
const char TYPE_32FC4[] = "32FC4";
const char TYPE_64FC1[] = "64FC1";
const char TYPE_64FC2[] = "64FC2";
const char TYPE_64FC3[] = "64FC3";
const char TYPE_64FC4[] = "64FC4";

const char BAYER_RGGB8[] = "bayer_rggb8";
const char BAYER_BGGR8[] = "bayer_bggr8";
const char BAYER_GBRG8[] = "bayer_gbrg8";
const char BAYER_GRBG8[] = "bayer_grbg8";
const char BAYER_RGGB16[] = "bayer_rggb16";
const char BAYER_BGGR16[] = "bayer_bggr16";
const char BAYER_GBRG16[] = "bayer_gbrg16";
const char BAYER_GRBG16[] = "bayer_grbg16";

const char YUV422[] = "yuv422";

namespace detail
{
// A generic encoding such as "16UC1" or "32F": element type and channels.
struct GenericType
{
  int bits = 0;
  int channels = 0;
};

inline bool parseGeneric(const std::string & encoding, GenericType & out)
{
  static const struct
  {
    const char * prefix;
    int bits;
  } kDepths[] = {{"8U", 8}, {"8S", 8}, {"16U", 16}, {"16S", 16}, {"32S", 32}, {"32F", 32},
    {"64F", 64}};
  for (const auto & depth : kDepths) {
    const std::string prefix = depth.prefix;
    if (encoding.compare(0, prefix.size(), prefix) != 0) {
      continue;
    }
    const std::string rest = encoding.substr(prefix.size());
    if (rest.empty()) {
      out = {depth.bits, 1};
      return true;
    }
    if (rest.size() < 2 || rest.size() > 4 || rest[0] != 'C') {
      return false;
    }
    int channels = 0;
    for (std::size_t i = 1; i < rest.size(); ++i) {
      if (!std::isdigit(static_cast<unsigned char>(rest[i]))) {
        return false;
      }
      channels = channels * 10 + (rest[i] - '0');
    }
    if (channels < 1) {
      return false;
    }
    out = {depth.bits, channels};
    return true;
  }
  return false;
}
}  // namespace detail

inline bool isColor(const std::string & encoding)
{
  return encoding == RGB8 || encoding == BGR8 || encoding == RGBA8 || encoding == BGRA8 ||
         encoding == RGB16 || encoding == BGR16 || encoding == RGBA16 || encoding == BGRA16;
}

inline bool isMono(const std::string & encoding)
{
  return encoding == MONO8 || encoding == MONO16;
}

inline bool isBayer(const std::string & encoding)
{
  return encoding == BAYER_RGGB8 || encoding == BAYER_BGGR8 || encoding == BAYER_GBRG8 ||
         encoding == BAYER_GRBG8 || encoding == BAYER_RGGB16 || encoding == BAYER_BGGR16 ||
         encoding == BAYER_GBRG16 || encoding == BAYER_GRBG16;
}

inline bool hasAlpha(const std::string & encoding)
{
  return encoding == RGBA8 || encoding == BGRA8 || encoding == RGBA16 || encoding == BGRA16;
}

inline int numChannels(const std::string & encoding)
{
  if (isMono(encoding) || isBayer(encoding)) {
    return 1;
  }
  if (isColor(encoding)) {
    return hasAlpha(encoding) ? 4 : 3;
  }
  if (encoding == YUV422) {
    return 2;
  }
  detail::GenericType generic;
  if (detail::parseGeneric(encoding, generic)) {
    return generic.channels;
  }
  throw std::runtime_error("Unknown encoding " + encoding);
}

inline int bitDepth(const std::string & encoding)
{
  if (encoding == MONO16 || encoding == RGB16 || encoding == BGR16 || encoding == RGBA16 ||
    encoding == BGRA16 || encoding == BAYER_RGGB16 || encoding == BAYER_BGGR16 ||
    encoding == BAYER_GBRG16 || encoding == BAYER_GRBG16)
  {
    return 16;
  }
  if (isMono(encoding) || isColor(encoding) || isBayer(encoding) || encoding == YUV422) {
    return 8;
  }
  detail::GenericType generic;
  if (detail::parseGeneric(encoding, generic)) {
    return generic.bits;
  }
  throw std::runtime_error("Unknown encoding " + encoding);
}

}  // namespace image_encodings
}  // namespace sensor_msgs
