#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include <opencv2/core.hpp>

#include "cv_bridge/cv_bridge.h"
#include "quorvane_object_detect/cloud.hpp"
#include "quorvane_object_detect/depth_image.hpp"

namespace
{

// The region clipped to the image and cut into stride x stride blocks.  In 64
// bits: image sides and strides up to INT_MAX cannot overflow the block bounds.
struct BlockGrid
{
  int64_t x1, y1, x2, y2, stride;

  BlockGrid(const BboxInfo & region, int width, int height, int requested_stride)
  : x1(std::clamp(region.x1, 0, width)), y1(std::clamp(region.y1, 0, height)),
    x2(std::clamp(region.x2, 0, width)), y2(std::clamp(region.y2, 0, height)),
    stride(std::max(requested_stride, 1))
  {
  }

  int64_t width() const {return std::max<int64_t>(x2 - x1, 0);}
  int64_t rows() const {return (std::max<int64_t>(y2 - y1, 0) + stride - 1) / stride;}
  int64_t columns() const {return (width() + stride - 1) / stride;}
};

// Index of the first non-zero byte of flags[from, to), or `to`; eight bytes
// at a time, since most blocks of a frame hold no valid depth.
int64_t firstSet(const uint8_t * flags, int64_t from, int64_t to)
{
  for (; from + 8 <= to; from += 8) {
    uint64_t word;
    std::memcpy(&word, flags + from, sizeof(word));
    if (word != 0) {
      break;
    }
  }
  while (from < to && flags[from] == 0) {
    ++from;
  }
  return from;
}

// Depths of 16-bit millimetre pixels.  The depth test runs on the raw values:
// a pixel's metres grow with its value, so the pixels with a depth in
// (0, depth_max) are one range of values, found once per image.
class MillimetrePixels
{
public:
  MillimetrePixels(double scale, float depth_max)
  : scale_(scale)
  {
    first_ = firstWhere([this](uint32_t p) {return metres(p) > 0.0F;});
    const uint32_t end = firstWhere([this, depth_max](uint32_t p) {return !(metres(p) < depth_max);});
    span_ = end > first_ ? end - first_ : 0;
  }

  float metres(uint32_t pixel) const
  {
    return static_cast<float>(static_cast<double>(pixel) * scale_);
  }

  void flag(const uint16_t * pixels, int64_t count, uint8_t * flags) const
  {
    const uint32_t first = first_;
    const uint32_t span = span_;
    for (int64_t i = 0; i < count; ++i) {
      flags[i] = static_cast<uint32_t>(static_cast<uint16_t>(pixels[i] - first)) < span;
    }
  }

private:
  // The smallest pixel value from which `holds` is true, 65536 for none;
  // `holds` must not turn false again above it.
  template<typename Predicate>
  static uint32_t firstWhere(Predicate holds)
  {
    uint32_t low = 0;
    uint32_t high = 65536;
    while (low < high) {
      const uint32_t middle = (low + high) / 2;
      if (holds(middle)) {
        high = middle;
      } else {
        low = middle + 1;
      }
    }
    return low;
  }

  double scale_;
  uint32_t first_;
  uint32_t span_;  // pixel values first_ .. first_ + span_ - 1 are valid
};

// Depths of 32-bit float pixels, metres as they are.
class MetrePixels
{
public:
  explicit MetrePixels(float depth_max)
  : depth_max_(depth_max) {}

  static float metres(float pixel) {return pixel;}

  void flag(const float * pixels, int64_t count, uint8_t * flags) const
  {
    const float depth_max = depth_max_;
    for (int64_t i = 0; i < count; ++i) {
      // NaN fails both.
      flags[i] = static_cast<uint8_t>((pixels[i] > 0.0F) & (pixels[i] < depth_max));
    }
  }

private:
  float depth_max_;
};

// Clears the flags of pixels (row v, columns x1 ..) whose mask byte is unset;
// pixels outside the mask's own size count as unset.
void applyMask(const cv::Mat & mask, int64_t v, int64_t x1, int64_t count, uint8_t * flags)
{
  const int64_t inside = v < mask.rows ? std::clamp<int64_t>(mask.cols - x1, 0, count) : 0;
  const uint8_t * bytes = inside > 0 ? mask.ptr<uint8_t>(static_cast<int>(v)) + x1 : nullptr;
  for (int64_t i = 0; i < inside; ++i) {
    flags[i] = static_cast<uint8_t>(flags[i] & (bytes[i] != 0));
  }
  std::fill(flags + inside, flags + count, uint8_t{0});
}

// The pixels a block row takes, projected together so that the divisions
// vectorise: first into one array per coordinate, then into the points.
template<typename Pixel>
struct TakenPixels
{
  std::vector<int32_t> u, v;
  std::vector<Pixel> raw;
  std::vector<float> x, y, z;

  explicit TakenPixels(std::size_t blocks)
  : u(blocks), v(blocks), raw(blocks), x(blocks), y(blocks), z(blocks) {}
};

template<typename Pixel, typename Pixels>
void appendPoints(
  const Pixels & pixels, const std::array<float, 4> & k, std::size_t count,
  TakenPixels<Pixel> & taken, pcl::PointCloud<pcl::PointXYZ>::VectorType & points)
{
  const float fx = k[0];
  const float fy = k[1];
  const float cx = k[2];
  const float cy = k[3];
  for (std::size_t i = 0; i < count; ++i) {
    const float d = pixels.metres(taken.raw[i]);
    taken.x[i] = (static_cast<float>(taken.u[i]) - cx) * d / fx;
    taken.y[i] = (static_cast<float>(taken.v[i]) - cy) * d / fy;
    taken.z[i] = d;
  }
  const std::size_t first = points.size();
  points.resize(first + count);  // within the reserved capacity
  pcl::PointXYZ * out = points.data() + first;
  for (std::size_t i = 0; i < count; ++i) {
    out[i].x = taken.x[i];
    out[i].y = taken.y[i];
    out[i].z = taken.z[i];
  }
}

// One block row at a time: the validity of each of its pixel rows as one
// byte per pixel, then their union, which finds the blocks holding a valid
// pixel without visiting the empty ones.
template<typename Pixel, typename Pixels>
void project(
  const cv::Mat & depth, const Pixels & pixels, const std::array<float, 4> & k,
  const BlockGrid & grid, const cv::Mat & mask, pcl::PointCloud<pcl::PointXYZ> & cloud)
{
  const int64_t width = grid.width();
  const int64_t stride = grid.stride;
  auto & points = cloud.points;
  points.clear();
  cloud.width = 0;
  cloud.height = 1;
  if (width == 0 || grid.rows() == 0) {
    return;  // without visiting the rows of an image with no column
  }
  // Reserved, not resized: the kept capacity is not written over every frame.
  points.reserve(static_cast<std::size_t>(grid.rows() * grid.columns()));
  const int64_t rows_per_block = std::min<int64_t>(stride, grid.y2 - grid.y1);
  std::vector<uint8_t> flags(static_cast<std::size_t>(width * rows_per_block));
  std::vector<uint8_t> any(static_cast<std::size_t>(width));
  TakenPixels<Pixel> taken(static_cast<std::size_t>(grid.columns()));
  std::vector<const Pixel *> rows(static_cast<std::size_t>(rows_per_block));
  for (int64_t v_begin = grid.y1; v_begin < grid.y2; v_begin += stride) {
    const int64_t block_rows = std::min(stride, grid.y2 - v_begin);
    for (int64_t i = 0; i < block_rows; ++i) {
      uint8_t * row = flags.data() + i * width;
      const auto v = static_cast<int>(v_begin + i);
      rows[i] = depth.ptr<Pixel>(v) + grid.x1;
      pixels.flag(rows[i], width, row);
      if (!mask.empty()) {
        applyMask(mask, v, grid.x1, width, row);
      }
      if (i == 0) {
        std::copy(row, row + width, any.begin());
      } else {
        for (int64_t u = 0; u < width; ++u) {
          any[u] = static_cast<uint8_t>(any[u] | row[u]);
        }
      }
    }
    std::size_t count = 0;
    for (int64_t block_begin = 0; block_begin < width; block_begin += stride) {
      // A run of blocks whose first pixel is valid, as most blocks of a near
      // view are, takes that pixel in a loop of its own with few values live.
      {
        const uint8_t * first_row = flags.data();
        const Pixel * pixel_row = rows[0];
        const auto u0 = static_cast<int32_t>(grid.x1);
        const auto v = static_cast<int32_t>(v_begin);
        int32_t * taken_u = taken.u.data();
        int32_t * taken_v = taken.v.data();
        Pixel * taken_raw = taken.raw.data();
        while (block_begin < width && first_row[block_begin]) {
          taken_u[count] = u0 + static_cast<int32_t>(block_begin);
          taken_v[count] = v;
          taken_raw[count] = pixel_row[block_begin];
          ++count;
          block_begin += stride;
        }
        if (block_begin >= width) {
          break;
        }
      }
      const int64_t block_end = std::min(block_begin + stride, width);
      if (firstSet(any.data(), block_begin, block_end) == block_end) {
        // Over the empty blocks to the next valid pixel's block.  Only this
        // branch moves the scan by what it reads, so that a run of full
        // blocks does not wait on its loads.
        const int64_t next = firstSet(any.data(), block_end, width);
        if (next == width) {
          break;
        }
        const auto offset = static_cast<uint32_t>(next - block_begin);
        block_begin = next - offset % static_cast<uint32_t>(stride) - stride;
        continue;
      }
      // The block holds a valid pixel: the first, row by row.
      int64_t i = 0;
      int64_t c = block_end;
      for (; i < block_rows; ++i) {
        const uint8_t * row = flags.data() + i * width;
        c = row[block_begin] ? block_begin : firstSet(row, block_begin + 1, block_end);
        if (c < block_end) {
          break;
        }
      }
      taken.u[count] = static_cast<int32_t>(grid.x1 + c);
      taken.v[count] = static_cast<int32_t>(v_begin + i);
      taken.raw[count] = rows[i][c];
      ++count;
    }
    appendPoints(pixels, k, count, taken, points);
  }
  cloud.width = static_cast<uint32_t>(points.size());
}

}  // namespace

void Cloud::depthToCloud(
  const sensor_msgs::msg::Image::ConstSharedPtr & depth_msg,
  const std::array<float, 4> & intrinsics, const BboxInfo & region,
  const std::shared_ptr<pcl::PointCloud<pcl::PointXYZ>> & cloud, int stride) const
{
  // Shares the message's pixels; cv_bridge has checked size and step.
  const cv::Mat depth = cv_bridge::toCvShare(depth_msg, depth_msg->encoding)->image;
  const BlockGrid grid(region, depth.cols, depth.rows, stride);
  const float depth_max = cloud_para_.depth_max;
  switch (depth.type()) {
    case CV_16UC1:
      project<uint16_t>(
        depth, MillimetrePixels(depthScale(depth_msg->encoding), depth_max), intrinsics, grid,
        region.mask, *cloud);
      break;
    case CV_32FC1:
      project<float>(depth, MetrePixels(depth_max), intrinsics, grid, region.mask, *cloud);
      break;
    default: {
        // Any other single-channel depth is converted once to float metres.
        cv::Mat converted;
        depth.convertTo(converted, CV_32F);
        if (converted.channels() != 1) {
          throw cv_bridge::Exception(
                  "depth image \"" + depth_msg->encoding + "\" has more than one channel");
        }
        project<float>(converted, MetrePixels(depth_max), intrinsics, grid, region.mask, *cloud);
      }
  }
}
