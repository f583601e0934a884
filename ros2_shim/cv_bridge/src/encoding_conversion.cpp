#include "encoding_conversion.hpp"

#include <map>
#include <utility>
#include <vector>

#include <opencv2/imgproc.hpp>

#include "cv_bridge/cv_bridge.h"

namespace cv_bridge
{
namespace detail
{
namespace
{

namespace enc = sensor_msgs::image_encodings;

// Colour layouts; encodings of one layout differ only in bit depth.
enum class Layout
{
  kNone, kGray, kRgb, kBgr, kRgba, kBgra, kYuv422,
  kBayerRggb, kBayerBggr, kBayerGbrg, kBayerGrbg
};

// A conversion step that keeps the channels and changes only the depth.
constexpr int kSameFormat = -1;

Layout layoutOf(const std::string & encoding)
{
  static const std::map<std::string, Layout> kLayouts = {
    {enc::MONO8, Layout::kGray}, {enc::MONO16, Layout::kGray},
    {enc::RGB8, Layout::kRgb}, {enc::RGB16, Layout::kRgb},
    {enc::BGR8, Layout::kBgr}, {enc::BGR16, Layout::kBgr},
    {enc::RGBA8, Layout::kRgba}, {enc::RGBA16, Layout::kRgba},
    {enc::BGRA8, Layout::kBgra}, {enc::BGRA16, Layout::kBgra},
    {enc::YUV422, Layout::kYuv422},
    {enc::BAYER_RGGB8, Layout::kBayerRggb}, {enc::BAYER_RGGB16, Layout::kBayerRggb},
    {enc::BAYER_BGGR8, Layout::kBayerBggr}, {enc::BAYER_BGGR16, Layout::kBayerBggr},
    {enc::BAYER_GBRG8, Layout::kBayerGbrg}, {enc::BAYER_GBRG16, Layout::kBayerGbrg},
    {enc::BAYER_GRBG8, Layout::kBayerGrbg}, {enc::BAYER_GRBG16, Layout::kBayerGrbg},
  };
  const auto found = kLayouts.find(encoding);
  return found == kLayouts.end() ? Layout::kNone : found->second;
}

const std::map<std::pair<Layout, Layout>, int> & colourCodes()
{
  using L = Layout;
  // OpenCV names Bayer patterns by the second row's first two pixels, hence
  // RGGB -> BayerBG and so on.
  static const std::map<std::pair<L, L>, int> kCodes = {
    {{L::kGray, L::kGray}, kSameFormat},
    {{L::kGray, L::kRgb}, cv::COLOR_GRAY2RGB},
    {{L::kGray, L::kBgr}, cv::COLOR_GRAY2BGR},
    {{L::kGray, L::kRgba}, cv::COLOR_GRAY2RGBA},
    {{L::kGray, L::kBgra}, cv::COLOR_GRAY2BGRA},
    {{L::kRgb, L::kGray}, cv::COLOR_RGB2GRAY},
    {{L::kRgb, L::kRgb}, kSameFormat},
    {{L::kRgb, L::kBgr}, cv::COLOR_RGB2BGR},
    {{L::kRgb, L::kRgba}, cv::COLOR_RGB2RGBA},
    {{L::kRgb, L::kBgra}, cv::COLOR_RGB2BGRA},
    {{L::kBgr, L::kGray}, cv::COLOR_BGR2GRAY},
    {{L::kBgr, L::kRgb}, cv::COLOR_BGR2RGB},
    {{L::kBgr, L::kBgr}, kSameFormat},
    {{L::kBgr, L::kRgba}, cv::COLOR_BGR2RGBA},
    {{L::kBgr, L::kBgra}, cv::COLOR_BGR2BGRA},
    {{L::kRgba, L::kGray}, cv::COLOR_RGBA2GRAY},
    {{L::kRgba, L::kRgb}, cv::COLOR_RGBA2RGB},
    {{L::kRgba, L::kBgr}, cv::COLOR_RGBA2BGR},
    {{L::kRgba, L::kRgba}, kSameFormat},
    {{L::kRgba, L::kBgra}, cv::COLOR_RGBA2BGRA},
    {{L::kBgra, L::kGray}, cv::COLOR_BGRA2GRAY},
    {{L::kBgra, L::kRgb}, cv::COLOR_BGRA2RGB},
    {{L::kBgra, L::kBgr}, cv::COLOR_BGRA2BGR},
    {{L::kBgra, L::kRgba}, cv::COLOR_BGRA2RGBA},
    {{L::kBgra, L::kBgra}, kSameFormat},
    {{L::kYuv422, L::kGray}, cv::COLOR_YUV2GRAY_UYVY},
    {{L::kYuv422, L::kRgb}, cv::COLOR_YUV2RGB_UYVY},
    {{L::kYuv422, L::kBgr}, cv::COLOR_YUV2BGR_UYVY},
    {{L::kYuv422, L::kRgba}, cv::COLOR_YUV2RGBA_UYVY},
    {{L::kYuv422, L::kBgra}, cv::COLOR_YUV2BGRA_UYVY},
    {{L::kBayerRggb, L::kGray}, cv::COLOR_BayerBG2GRAY},
    {{L::kBayerRggb, L::kRgb}, cv::COLOR_BayerBG2RGB},
    {{L::kBayerRggb, L::kBgr}, cv::COLOR_BayerBG2BGR},
    {{L::kBayerBggr, L::kGray}, cv::COLOR_BayerRG2GRAY},
    {{L::kBayerBggr, L::kRgb}, cv::COLOR_BayerRG2RGB},
    {{L::kBayerBggr, L::kBgr}, cv::COLOR_BayerRG2BGR},
    {{L::kBayerGbrg, L::kGray}, cv::COLOR_BayerGR2GRAY},
    {{L::kBayerGbrg, L::kRgb}, cv::COLOR_BayerGR2RGB},
    {{L::kBayerGbrg, L::kBgr}, cv::COLOR_BayerGR2BGR},
    {{L::kBayerGrbg, L::kGray}, cv::COLOR_BayerGB2GRAY},
    {{L::kBayerGrbg, L::kRgb}, cv::COLOR_BayerGB2RGB},
    {{L::kBayerGrbg, L::kBgr}, cv::COLOR_BayerGB2BGR},
  };
  return kCodes;
}

std::vector<int> conversionSteps(const std::string & src, const std::string & dst)
{
  const Layout src_layout = layoutOf(src);
  const Layout dst_layout = layoutOf(dst);
  const bool same_channels = enc::numChannels(src) == enc::numChannels(dst);

  // Without colour meaning on one side only the depth can change, and only
  // while the channel count stays.
  if (src_layout == Layout::kNone) {
    if (dst_layout != Layout::kNone) {
      throw Exception(
              "[" + src + "] is not a color format. but [" + dst +
              "] is. The conversion does not make sense");
    }
    if (!same_channels) {
      throw Exception("[" + src + "] and [" + dst + "] do not have the same number of channel");
    }
    return {kSameFormat};
  }
  if (dst_layout == Layout::kNone) {
    if (!same_channels) {
      throw Exception(
              "[" + src + "] is a color format but [" + dst +
              "] is not so they must have the same OpenCV type, CV_8UC3, CV16UC1 ....");
    }
    return {kSameFormat};
  }

  const auto found = colourCodes().find({src_layout, dst_layout});
  if (found == colourCodes().end()) {
    throw Exception("Unsupported conversion from [" + src + "] to [" + dst + "]");
  }
  std::vector<int> steps{found->second};
  if (found->second != kSameFormat && enc::bitDepth(src) != enc::bitDepth(dst)) {
    steps.push_back(kSameFormat);
  }
  return steps;
}

}  // namespace

cv::Mat convertEncoding(
  const cv::Mat & source, const std::string & src_encoding, const std::string & dst_encoding)
{
  // Both names must be known before their channel counts are compared.
  const int dst_type = getCvType(dst_encoding);
  getCvType(src_encoding);

  const int src_bits = enc::bitDepth(src_encoding);
  const int dst_bits = enc::bitDepth(dst_encoding);
  cv::Mat current = source;
  cv::Mat next;
  for (const int step : conversionSteps(src_encoding, dst_encoding)) {
    if (step == kSameFormat) {
      const int type = CV_MAKETYPE(CV_MAT_DEPTH(dst_type), current.channels());
      double scale = 1.0;
      if (src_bits == 8 && dst_bits == 16) {
        scale = 65535.0 / 255.0;
      } else if (src_bits == 16 && dst_bits == 8) {
        scale = 255.0 / 65535.0;
      }
      current.convertTo(next, type, scale);
    } else {
      cv::cvtColor(current, next, step);
    }
    current = next;
    next = cv::Mat();
  }
  return current;
}

}  // namespace detail
}  // namespace cv_bridge
