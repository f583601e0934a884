#pragma once

#include <string>

#include <opencv2/core.hpp>

namespace cv_bridge
{
namespace detail
{

/// The image converted from one encoding to another: channel reordering and
/// colour/mono conversion with cv::cvtColor, and depth changes with
/// convertTo (8 <-> 16 bit scaled by 255/65535, every other depth change
/// unscaled).  Throws cv_bridge::Exception, naming both encodings, when the
/// conversion makes no sense.
cv::Mat convertEncoding(
  const cv::Mat & source, const std::string & src_encoding, const std::string & dst_encoding);

}  // namespace detail
}  // namespace cv_bridge
