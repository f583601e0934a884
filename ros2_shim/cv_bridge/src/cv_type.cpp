#include <string>

#include "cv_bridge/cv_bridge.h"

namespace cv_bridge
{
namespace
{

int genericDepth(const std::string & encoding, int & channels)
{
  static const struct
  {
    const char * prefix;
    int depth;
  } kDepths[] = {{"8U", CV_8U}, {"8S", CV_8S}, {"16U", CV_16U}, {"16S", CV_16S},
    {"32S", CV_32S}, {"32F", CV_32F}, {"64F", CV_64F}};
  for (const auto & entry : kDepths) {
    const std::string prefix = entry.prefix;
    if (encoding.compare(0, prefix.size(), prefix) == 0) {
      channels = sensor_msgs::image_encodings::numChannels(encoding);
      return entry.depth;
    }
  }
  return -1;
}

}  // namespace

int getCvType(const std::string & encoding)
{
  namespace enc = sensor_msgs::image_encodings;
  if (encoding == enc::BGR8 || encoding == enc::RGB8) {return CV_8UC3;}
  if (encoding == enc::MONO8) {return CV_8UC1;}
  if (encoding == enc::MONO16) {return CV_16UC1;}
  if (encoding == enc::BGR16 || encoding == enc::RGB16) {return CV_16UC3;}
  if (encoding == enc::BGRA8 || encoding == enc::RGBA8) {return CV_8UC4;}
  if (encoding == enc::BGRA16 || encoding == enc::RGBA16) {return CV_16UC4;}
  if (enc::isBayer(encoding)) {
    return enc::bitDepth(encoding) == 16 ? CV_16UC1 : CV_8UC1;
  }
  if (encoding == enc::YUV422) {return CV_8UC2;}

  try {
    int channels = 0;
    const int depth = genericDepth(encoding, channels);
    if (depth >= 0 && channels >= 1 && channels <= CV_CN_MAX) {
      return CV_MAKETYPE(depth, channels);
    }
  } catch (const std::runtime_error &) {
    // Falls through: a malformed generic name is as unknown as any other.
  }
  throw Exception("Unrecognized image encoding [" + encoding + "]");
}

}  // namespace cv_bridge
