#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "cv_bridge/cv_bridge.h"
#include "sensor_msgs/image_encodings.hpp"

namespace
{

using sensor_msgs::msg::Image;

Image::SharedPtr makeImage(
  const std::string & encoding, uint32_t width, uint32_t height, uint32_t step,
  std::vector<uint8_t> data, bool big_endian = false)
{
  auto msg = std::make_shared<Image>();
  msg->header.frame_id = "camera";
  msg->header.stamp.sec = 7;
  msg->encoding = encoding;
  msg->width = width;
  msg->height = height;
  msg->step = step;
  msg->is_bigendian = big_endian;
  msg->data = std::move(data);
  return msg;
}

template<typename T>
std::vector<uint8_t> bytesOf(const std::vector<T> & values)
{
  std::vector<uint8_t> bytes(values.size() * sizeof(T));
  std::memcpy(bytes.data(), values.data(), bytes.size());
  return bytes;
}

TEST(CvBridgeConversion, SixteenBitDepthBecomesUnscaledFloat)
{
  const std::vector<uint16_t> depth = {0, 1, 1500, 65535};
  for (const std::string source : {"16UC1", "mono16"}) {
    auto msg = makeImage(source, 4, 1, 8, bytesOf(depth));
    const auto converted = cv_bridge::toCvCopy(msg, "32FC1");
    ASSERT_EQ(converted->image.type(), CV_32FC1) << source;
    EXPECT_EQ(converted->encoding, "32FC1");
    for (int i = 0; i < 4; ++i) {
      EXPECT_EQ(converted->image.at<float>(0, i), static_cast<float>(depth[i])) << source;
    }
  }
}

struct PixelCase
{
  const char * from;
  std::vector<uint8_t> pixel;  // one pixel in `from`, host byte order
  const char * to;
  std::vector<uint8_t> expected;  // the same pixel in `to`, host byte order
};

TEST(CvBridgeConversion, SinglePixelTable)
{
  auto u16 = [](uint16_t v) {return bytesOf(std::vector<uint16_t>{v});};
  const PixelCase cases[] = {
    {"rgb8", {255, 0, 0}, "bgr8", {0, 0, 255}},
    {"bgr8", {0, 0, 255}, "rgb8", {255, 0, 0}},
    {"rgb8", {255, 0, 0}, "rgba8", {255, 0, 0, 255}},
    {"bgra8", {0, 0, 255, 128}, "rgb8", {255, 0, 0}},
    {"rgb8", {255, 0, 0}, "mono8", {76}},
    {"mono8", {100}, "rgb8", {100, 100, 100}},
    {"mono16", u16(65535), "mono8", {255}},
    {"mono16", u16(32768), "mono8", {128}},
    {"mono8", {1}, "mono16", u16(257)},
    {"rgb8", {255, 0, 0}, "mono16", u16(76 * 257)},
    {"mono8", {200}, "8UC1", {200}},
  };
  for (const auto & c : cases) {
    const uint32_t bytes = static_cast<uint32_t>(c.pixel.size());
    auto msg = makeImage(c.from, 1, 1, bytes, c.pixel);
    const auto converted = cv_bridge::toCvCopy(*msg, c.to);
    const cv::Mat & image = converted->image;
    ASSERT_EQ(image.type(), cv_bridge::getCvType(c.to)) << c.from << " -> " << c.to;
    const std::vector<uint8_t> got(image.data, image.data + image.elemSize());
    EXPECT_EQ(got, c.expected) << c.from << " -> " << c.to;
  }
}

TEST(CvBridgeConversion, RedStaysRedThroughRgbBgrRoundTrip)
{
  auto msg = makeImage("rgb8", 2, 1, 6, {255, 0, 0, 0, 255, 0});
  const auto bgr = cv_bridge::toCvCopy(msg, "bgr8");
  EXPECT_EQ(bgr->image.at<cv::Vec3b>(0, 0), cv::Vec3b(0, 0, 255));
  const auto back = cv_bridge::toCvCopy(bgr->toImageMsg(), "rgb8");
  EXPECT_EQ(back->toImageMsg()->data, msg->data);
  EXPECT_EQ(back->header, msg->header);
}

TEST(CvBridgeLayout, PaddedRowsAreReadRowByRow)
{
  // Two rgb8 rows of 2 pixels, each followed by 2 padding bytes.
  auto rgb = makeImage("rgb8", 2, 2, 8, {1, 2, 3, 4, 5, 6, 99, 99, 7, 8, 9, 10, 11, 12, 99, 99});
  const auto copy = cv_bridge::toCvCopy(rgb);
  EXPECT_EQ(copy->image.at<cv::Vec3b>(1, 0), cv::Vec3b(7, 8, 9));
  EXPECT_EQ(copy->image.at<cv::Vec3b>(1, 1), cv::Vec3b(10, 11, 12));
  EXPECT_TRUE(copy->image.isContinuous());  // depth readers walk rows of width pixels
  EXPECT_EQ(copy->toImageMsg()->step, 6u);

  // A 16-bit image whose step is odd cannot be wrapped by OpenCV.
  std::vector<uint8_t> odd(10, 0xEE);
  const uint16_t row0[2] = {1000, 2000};
  const uint16_t row1[2] = {3000, 4000};
  std::memcpy(odd.data(), row0, 4);
  std::memcpy(odd.data() + 5, row1, 4);
  auto depth = makeImage("16UC1", 2, 2, 5, odd);
  const auto shared = cv_bridge::toCvShare(depth);
  EXPECT_EQ(shared->image.at<uint16_t>(1, 1), 4000);
  EXPECT_EQ(shared->image.at<uint16_t>(0, 1), 2000);
}

TEST(CvBridgeLayout, BigEndianDataIsSwappedToHostOrder)
{
  auto mono16 = makeImage("mono16", 2, 1, 4, {0x05, 0xDC, 0x12, 0x34}, true);
  for (const auto & image : {cv_bridge::toCvCopy(mono16)->image, cv_bridge::toCvShare(mono16)->image}) {
    EXPECT_EQ(image.at<uint16_t>(0, 0), 1500);
    EXPECT_EQ(image.at<uint16_t>(0, 1), 0x1234);
  }
  auto float_depth = makeImage("32FC1", 1, 1, 4, {0x3F, 0xC0, 0x00, 0x00}, true);
  EXPECT_EQ(cv_bridge::toCvCopy(float_depth)->image.at<float>(0, 0), 1.5f);
  EXPECT_EQ(cv_bridge::toCvCopy(mono16, "mono8")->image.at<uint8_t>(0, 0), 6);
}

TEST(CvBridgeErrors, ImpossibleConversionsNameBothEncodings)
{
  const std::pair<const char *, const char *> cases[] = {
    {"16UC1", "mono8"}, {"16UC1", "rgb8"}, {"rgb8", "32FC1"}, {"32FC1", "16UC3"},
    {"mono8", "no_such_encoding"}, {"bayer_rggb8", "rgba8"},
  };
  for (const auto & [from, to] : cases) {
    const auto channels = sensor_msgs::image_encodings::numChannels(from);
    const auto bytes = sensor_msgs::image_encodings::bitDepth(from) / 8 * channels;
    auto msg = makeImage(from, 1, 1, bytes, std::vector<uint8_t>(bytes, 0));
    try {
      cv_bridge::toCvCopy(msg, to);
      ADD_FAILURE() << from << " -> " << to << " converted";
    } catch (const cv_bridge::Exception & e) {
      const std::string text = e.what();
      EXPECT_NE(text.find(to), std::string::npos) << text;
      if (std::string(to) != "no_such_encoding") {
        EXPECT_NE(text.find(from), std::string::npos) << text;
      }
    }
  }
}

TEST(CvBridgeErrors, MalformedMessagesAreRejected)
{
  const struct
  {
    const char * what;
    Image::SharedPtr msg;
  } cases[] = {
    {"step below row size", makeImage("mono16", 4, 1, 6, std::vector<uint8_t>(6))},
    {"data too short", makeImage("mono8", 4, 4, 4, std::vector<uint8_t>(15))},
    {"data too long", makeImage("mono8", 4, 4, 4, std::vector<uint8_t>(17))},
    // height * step wraps to 0 in 32 bits.
    {"height x step overflow", makeImage("mono8", 65536, 65536, 65536, {})},
    // width * 3 wraps to 2 in 32 bits.
    {"row size overflow", makeImage("rgb8", 0x55555556u, 1, 2, std::vector<uint8_t>(2))},
    {"unknown encoding", makeImage("rgb9", 1, 1, 3, std::vector<uint8_t>(3))},
    {"empty encoding", makeImage("", 1, 1, 1, std::vector<uint8_t>(1))},
    {"null message", nullptr},
  };
  for (const auto & c : cases) {
    EXPECT_THROW(cv_bridge::toCvCopy(c.msg), cv_bridge::Exception) << c.what;
    EXPECT_THROW(cv_bridge::toCvCopy(c.msg, "32FC1"), cv_bridge::Exception) << c.what;
    EXPECT_THROW(cv_bridge::toCvShare(c.msg), cv_bridge::Exception) << c.what;
  }
}

TEST(CvBridgeShare, SharesBufferOnlyWhenNothingChanges)
{
  auto msg = makeImage("16UC1", 2, 1, 4, bytesOf(std::vector<uint16_t>{10, 20}));
  std::weak_ptr<const Image> watch = msg;
  const uint8_t * buffer = msg->data.data();

  auto shared = cv_bridge::toCvShare(msg);
  auto shared_named = cv_bridge::toCvShare(msg, "16UC1");
  EXPECT_EQ(shared->image.data, buffer);
  EXPECT_EQ(shared_named->image.data, buffer);

  auto converted = cv_bridge::toCvShare(msg, "32FC1");
  EXPECT_NE(converted->image.data, buffer);
  EXPECT_EQ(converted->image.at<float>(0, 1), 20.0f);
  EXPECT_NE(cv_bridge::toCvCopy(msg)->image.data, buffer);

  // The shared view keeps the message alive after its publisher lets go.
  msg.reset();
  shared_named.reset();
  EXPECT_FALSE(watch.expired());
  EXPECT_EQ(shared->image.at<uint16_t>(0, 1), 20);
  shared.reset();
  EXPECT_TRUE(watch.expired());
}

TEST(CvBridgeImage, NonContinuousMatBecomesCompactMessage)
{
  cv::Mat big(4, 5, CV_8UC3, cv::Scalar(1, 2, 3));
  big.at<cv::Vec3b>(2, 2) = cv::Vec3b(9, 8, 7);
  std_msgs::msg::Header header;
  header.frame_id = "roi";
  const cv_bridge::CvImage roi(header, "bgr8", big(cv::Rect(1, 1, 3, 2)));
  ASSERT_FALSE(roi.image.isContinuous());

  Image msg;
  roi.toImageMsg(msg);
  EXPECT_EQ(msg.step, 9u);
  EXPECT_EQ(msg.data.size(), 18u);
  EXPECT_EQ(msg.header.frame_id, "roi");
  const auto back = cv_bridge::cvtColor(cv_bridge::toCvShare(msg, nullptr), "rgb8");
  EXPECT_EQ(back->image.at<cv::Vec3b>(1, 1), cv::Vec3b(7, 8, 9));
}

TEST(CvBridgeTypes, EncodingsMapToOpenCvTypes)
{
  const std::pair<const char *, int> known[] = {
    {"rgb8", CV_8UC3}, {"bgra8", CV_8UC4}, {"mono16", CV_16UC1}, {"16UC1", CV_16UC1},
    {"32FC1", CV_32FC1}, {"8UC4", CV_8UC4}, {"64F", CV_64FC1}, {"bayer_rggb16", CV_16UC1},
    {"yuv422", CV_8UC2},
  };
  for (const auto & [encoding, type] : known) {
    EXPECT_EQ(cv_bridge::getCvType(encoding), type) << encoding;
  }
  for (const char * unknown : {"8UC0", "8UCx", "32FC", "rgb9", "", "16UC1 "}) {
    EXPECT_THROW(cv_bridge::getCvType(unknown), cv_bridge::Exception) << unknown;
  }
}

TEST(ImageEncodings, ChannelsAndDepth)
{
  namespace enc = sensor_msgs::image_encodings;
  const struct
  {
    const char * encoding;
    int channels;
    int bits;
  } cases[] = {
    {enc::RGB8, 3, 8}, {enc::BGRA16, 4, 16}, {enc::MONO16, 1, 16}, {enc::BAYER_GRBG8, 1, 8},
    {enc::TYPE_32FC1, 1, 32}, {enc::TYPE_16SC3, 3, 16}, {enc::TYPE_64FC4, 4, 64},
    {enc::YUV422, 2, 8},
  };
  for (const auto & c : cases) {
    EXPECT_EQ(enc::numChannels(c.encoding), c.channels) << c.encoding;
    EXPECT_EQ(enc::bitDepth(c.encoding), c.bits) << c.encoding;
  }
  EXPECT_TRUE(enc::hasAlpha(enc::RGBA8));
  EXPECT_FALSE(enc::isColor(enc::MONO8));
  EXPECT_THROW(enc::numChannels("jpeg"), std::runtime_error);
  EXPECT_THROW(enc::bitDepth("jpeg"), std::runtime_error);
}

}  // namespace
