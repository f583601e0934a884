#pragma once

// OpenCV images to and from sensor_msgs::msg::Image.

#include <memory>
#include <stdexcept>
#include <string>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include "sensor_msgs/image_encodings.hpp"
#include "sensor_msgs/msg/image.hpp"
#include "std_msgs/msg/header.hpp"

namespace cv_bridge
{

class Exception : public std::runtime_error
{
public:
  explicit Exception(const std::string & error)
  : std::runtime_error(error) {}
};

class CvImage;

typedef std::shared_ptr<CvImage> CvImagePtr;
typedef std::shared_ptr<CvImage const> CvImageConstPtr;

CvImageConstPtr toCvShare(
  const sensor_msgs::msg::Image & source,
  const std::shared_ptr<void const> & tracked_object,
  const std::string & encoding);

/// An OpenCV image together with the header and encoding of its message.
class CvImage
{
public:
  std_msgs::msg::Header header;
  std::string encoding;
  cv::Mat image;

  CvImage() = default;

  CvImage(
    const std_msgs::msg::Header & header, const std::string & encoding,
    const cv::Mat & image = cv::Mat())
  : header(header), encoding(encoding), image(image) {}

  /// A new message holding a compact copy of the pixels.
  sensor_msgs::msg::Image::SharedPtr toImageMsg() const;

  /// Fills the given message with a compact copy of the pixels.
  void toImageMsg(sensor_msgs::msg::Image & ros_image) const;

protected:
  // Keeps a shared message alive while `image` points into its data.
  std::shared_ptr<void const> tracked_object_;

  friend CvImageConstPtr toCvShare(
    const sensor_msgs::msg::Image & source,
    const std::shared_ptr<void const> & tracked_object,
    const std::string & encoding);
};

/// A copy of the message's pixels, converted to `encoding` when one is given.
CvImagePtr toCvCopy(
  const sensor_msgs::msg::Image::ConstSharedPtr & source,
  const std::string & encoding = std::string());

CvImagePtr toCvCopy(
  const sensor_msgs::msg::Image & source,
  const std::string & encoding = std::string());

/// Points into the message's buffer when no conversion is needed; the
/// result keeps the message alive.  Otherwise behaves like toCvCopy.
CvImageConstPtr toCvShare(
  const sensor_msgs::msg::Image::ConstSharedPtr & source,
  const std::string & encoding = std::string());

CvImageConstPtr toCvShare(
  const sensor_msgs::msg::Image & source,
  const std::shared_ptr<void const> & tracked_object,
  const std::string & encoding = std::string());

/// A converted copy of an image already on the OpenCV side.
CvImagePtr cvtColor(const CvImageConstPtr & source, const std::string & encoding);

/// The OpenCV matrix type (CV_8UC3, ...) of an encoding.
int getCvType(const std::string & encoding);

}  // namespace cv_bridge
