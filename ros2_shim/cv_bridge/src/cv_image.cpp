#include <cstring>
#include <memory>
#include <string>

#include "cv_bridge/cv_bridge.h"
#include "encoding_conversion.hpp"
#include "message_pixels.hpp"

namespace cv_bridge
{
namespace
{

constexpr bool kHostIsBigEndian = __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__;

// `pixels` may point into a message; the result never does.
CvImagePtr copyConverted(
  const detail::MessagePixels & pixels, const std_msgs::msg::Header & header,
  const std::string & src_encoding, const std::string & dst_encoding)
{
  auto result = std::make_shared<CvImage>();
  result->header = header;
  if (dst_encoding.empty() || dst_encoding == src_encoding) {
    result->encoding = src_encoding;
    result->image = pixels.shares_message ? pixels.image.clone() : pixels.image;
    return result;
  }
  result->encoding = dst_encoding;
  result->image = detail::convertEncoding(pixels.image, src_encoding, dst_encoding);
  return result;
}

const sensor_msgs::msg::Image & dereference(const sensor_msgs::msg::Image::ConstSharedPtr & msg)
{
  if (!msg) {
    throw Exception("Image message pointer is empty");
  }
  return *msg;
}

}  // namespace

sensor_msgs::msg::Image::SharedPtr CvImage::toImageMsg() const
{
  auto msg = std::make_shared<sensor_msgs::msg::Image>();
  toImageMsg(*msg);
  return msg;
}

void CvImage::toImageMsg(sensor_msgs::msg::Image & ros_image) const
{
  ros_image.header = header;
  ros_image.height = static_cast<uint32_t>(image.rows);
  ros_image.width = static_cast<uint32_t>(image.cols);
  ros_image.encoding = encoding;
  ros_image.is_bigendian = kHostIsBigEndian;
  const size_t row_bytes = static_cast<size_t>(image.cols) * image.elemSize();
  ros_image.step = static_cast<uint32_t>(row_bytes);
  ros_image.data.resize(row_bytes * static_cast<size_t>(image.rows));
  for (int r = 0; r < image.rows && row_bytes > 0; ++r) {
    std::memcpy(ros_image.data.data() + row_bytes * static_cast<size_t>(r), image.ptr(r), row_bytes);
  }
}

CvImagePtr toCvCopy(
  const sensor_msgs::msg::Image::ConstSharedPtr & source, const std::string & encoding)
{
  return toCvCopy(dereference(source), encoding);
}

CvImagePtr toCvCopy(const sensor_msgs::msg::Image & source, const std::string & encoding)
{
  return copyConverted(detail::messagePixels(source), source.header, source.encoding, encoding);
}

CvImageConstPtr toCvShare(
  const sensor_msgs::msg::Image::ConstSharedPtr & source, const std::string & encoding)
{
  return toCvShare(dereference(source), source, encoding);
}

CvImageConstPtr toCvShare(
  const sensor_msgs::msg::Image & source, const std::shared_ptr<void const> & tracked_object,
  const std::string & encoding)
{
  const detail::MessagePixels pixels = detail::messagePixels(source);
  if (!pixels.shares_message || (!encoding.empty() && encoding != source.encoding)) {
    return copyConverted(pixels, source.header, source.encoding, encoding);
  }
  auto result = std::make_shared<CvImage>(source.header, source.encoding, pixels.image);
  result->tracked_object_ = tracked_object;
  return result;
}

CvImagePtr cvtColor(const CvImageConstPtr & source, const std::string & encoding)
{
  if (!source) {
    throw Exception("Image pointer is empty");
  }
  // The source's matrix may point into a shared message: treat it as such.
  return copyConverted({source->image, true}, source->header, source->encoding, encoding);
}

}  // namespace cv_bridge
