#pragma once

// Field layout editing and typed per-field iteration over PointCloud2 data.
// Iterators only ever walk whole points inside `data`: a trailing partial
// point is not visited and a field that does not fit in point_step is refused.

#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>

#include "sensor_msgs/msg/point_cloud2.hpp"
#include "sensor_msgs/msg/point_field.hpp"

namespace sensor_msgs
{

/// Bytes of one element of a PointField datatype; throws for unknown types.
inline int sizeOfPointField(int datatype)
{
  using PF = sensor_msgs::msg::PointField;
  switch (datatype) {
    case PF::INT8:
    case PF::UINT8:
      return 1;
    case PF::INT16:
    case PF::UINT16:
      return 2;
    case PF::INT32:
    case PF::UINT32:
    case PF::FLOAT32:
      return 4;
    case PF::FLOAT64:
      return 8;
    default:
      throw std::runtime_error("PointField of unknown datatype " + std::to_string(datatype));
  }
}

/// Appends one field at `offset`; returns the offset just past it.
inline int addPointField(
  sensor_msgs::msg::PointCloud2 & cloud_msg, const std::string & name, int count, int datatype,
  int offset)
{
  sensor_msgs::msg::PointField field;
  field.name = name;
  field.count = static_cast<uint32_t>(count);
  field.datatype = static_cast<uint8_t>(datatype);
  field.offset = static_cast<uint32_t>(offset);
  cloud_msg.fields.push_back(field);
  return offset + count * sizeOfPointField(datatype);
}

class PointCloud2Modifier
{
public:
  explicit PointCloud2Modifier(sensor_msgs::msg::PointCloud2 & cloud_msg)
  : cloud_msg_(cloud_msg) {}

  size_t size() const
  {
    return cloud_msg_.point_step == 0 ? 0 : cloud_msg_.data.size() / cloud_msg_.point_step;
  }

  void reserve(size_t size) {cloud_msg_.data.reserve(size * cloud_msg_.point_step);}

  void resize(size_t size)
  {
    cloud_msg_.data.resize(size * cloud_msg_.point_step);
    // An organised cloud with one column keeps its shape; anything else
    // becomes a single row.
    if (cloud_msg_.height != 1 && cloud_msg_.width == 1) {
      cloud_msg_.height = static_cast<uint32_t>(size);
      return;
    }
    cloud_msg_.height = 1;
    cloud_msg_.width = static_cast<uint32_t>(size);
    cloud_msg_.row_step = static_cast<uint32_t>(size * cloud_msg_.point_step);
  }

  void clear()
  {
    cloud_msg_.data.clear();
    if (cloud_msg_.height != 1 && cloud_msg_.width == 1) {
      cloud_msg_.height = 0;
      return;
    }
    if (cloud_msg_.height != 1) {
      cloud_msg_.height = 0;
    }
    cloud_msg_.width = 0;
    cloud_msg_.row_step = 0;
  }

  /// n_fields triples of (const char * name, int count, int datatype).
  void setPointCloud2Fields(int n_fields, ...)
  {
    cloud_msg_.fields.clear();
    cloud_msg_.fields.reserve(n_fields > 0 ? static_cast<size_t>(n_fields) : 0);
    va_list args;
    va_start(args, n_fields);
    int offset = 0;
    for (int i = 0; i < n_fields; ++i) {
      const std::string name = va_arg(args, const char *);
      const int count = va_arg(args, int);
      const int datatype = va_arg(args, int);
      try {
        offset = addPointField(cloud_msg_, name, count, datatype, offset);
      } catch (...) {
        va_end(args);
        throw;
      }
    }
    va_end(args);
    applyPointStep(offset);
  }

  /// n_fields names out of "xyz", "rgb" and "rgba", laid out as PCL pads them.
  void setPointCloud2FieldsByString(int n_fields, ...)
  {
    using PF = sensor_msgs::msg::PointField;
    cloud_msg_.fields.clear();
    va_list args;
    va_start(args, n_fields);
    int offset = 0;
    for (int i = 0; i < n_fields; ++i) {
      const std::string name = va_arg(args, const char *);
      if (name == "xyz") {
        offset = addPointField(cloud_msg_, "x", 1, PF::FLOAT32, offset);
        offset = addPointField(cloud_msg_, "y", 1, PF::FLOAT32, offset);
        offset = addPointField(cloud_msg_, "z", 1, PF::FLOAT32, offset);
        offset += sizeOfPointField(PF::FLOAT32);
      } else if (name == "rgb" || name == "rgba") {
        offset = addPointField(cloud_msg_, name, 1, PF::FLOAT32, offset);
        offset += 3 * sizeOfPointField(PF::FLOAT32);
      } else {
        va_end(args);
        throw std::runtime_error("Field " + name + " does not exist");
      }
    }
    va_end(args);
    applyPointStep(offset);
  }

protected:
  sensor_msgs::msg::PointCloud2 & cloud_msg_;

private:
  void applyPointStep(int point_step)
  {
    cloud_msg_.point_step = static_cast<uint32_t>(point_step);
    cloud_msg_.row_step = cloud_msg_.width * cloud_msg_.point_step;
    cloud_msg_.data.resize(
      static_cast<size_t>(cloud_msg_.height) * static_cast<size_t>(cloud_msg_.row_step));
  }
};

namespace impl
{

/// Shared body of the mutable and const iterators.  T is the element type,
/// TT its (possibly const) access type, U the byte type, C the cloud type
/// and V the derived iterator template.
template<typename T, typename TT, typename U, typename C, template<typename> class V>
class PointCloud2IteratorBase
{
public:
  PointCloud2IteratorBase() = default;

  PointCloud2IteratorBase(C & cloud_msg, const std::string & field_name)
  {
    const size_t field_offset = fieldOffset(cloud_msg, field_name);
    point_step_ = cloud_msg.point_step;
    if (cloud_msg.data.empty()) {
      return;
    }
    if (point_step_ == 0 || field_offset + sizeof(T) > point_step_) {
      throw std::runtime_error(
              "Field " + field_name + " does not fit in a point of " +
              std::to_string(point_step_) + " bytes");
    }
    field_ = cloud_msg.data.data() + field_offset;
    size_ = cloud_msg.data.size() / point_step_;
  }

  TT & operator[](size_t i) const {return *(reinterpret_cast<TT *>(current()) + i);}
  TT & operator*() const {return *reinterpret_cast<TT *>(current());}

  V<T> & operator++()
  {
    ++index_;
    return derived();
  }

  V<T> operator+(int i)
  {
    V<T> copy = derived();
    copy.index_ += static_cast<size_t>(i);
    return copy;
  }

  V<T> & operator+=(int i)
  {
    index_ += static_cast<size_t>(i);
    return derived();
  }

  bool operator!=(const V<T> & other) const
  {
    return index_ != other.index_ || field_ != other.field_;
  }

  V<T> end() const
  {
    V<T> copy = static_cast<const V<T> &>(*this);
    copy.index_ = size_;
    return copy;
  }

private:
  static size_t fieldOffset(const sensor_msgs::msg::PointCloud2 & cloud, const std::string & name)
  {
    for (const auto & field : cloud.fields) {
      if (field.name == name) {
        return field.offset;
      }
    }
    // Single colour channels live inside the packed rgb/rgba field
    // (little-endian byte order b, g, r, a).
    const bool channel = name == "r" || name == "g" || name == "b" || name == "a";
    if (channel) {
      for (const auto & field : cloud.fields) {
        if (field.name == "rgb" || field.name == "rgba") {
          const size_t shift = name == "b" ? 0 : name == "g" ? 1 : name == "r" ? 2 : 3;
          return field.offset + shift;
        }
      }
    }
    throw std::runtime_error("Field " + name + " does not exist");
  }

  U * current() const {return field_ + index_ * point_step_;}
  V<T> & derived() {return static_cast<V<T> &>(*this);}

  U * field_ = nullptr;
  size_t point_step_ = 0;
  size_t index_ = 0;
  size_t size_ = 0;
};

}  // namespace impl

template<typename T>
class PointCloud2Iterator
  : public impl::PointCloud2IteratorBase<T, T, unsigned char, sensor_msgs::msg::PointCloud2,
    PointCloud2Iterator>
{
public:
  PointCloud2Iterator() = default;
  PointCloud2Iterator(sensor_msgs::msg::PointCloud2 & cloud_msg, const std::string & field_name)
  : impl::PointCloud2IteratorBase<T, T, unsigned char, sensor_msgs::msg::PointCloud2,
      PointCloud2Iterator>(cloud_msg, field_name) {}
};

template<typename T>
class PointCloud2ConstIterator
  : public impl::PointCloud2IteratorBase<T, const T, const unsigned char,
    const sensor_msgs::msg::PointCloud2, PointCloud2ConstIterator>
{
public:
  PointCloud2ConstIterator() = default;
  PointCloud2ConstIterator(
    const sensor_msgs::msg::PointCloud2 & cloud_msg, const std::string & field_name)
  : impl::PointCloud2IteratorBase<T, const T, const unsigned char,
      const sensor_msgs::msg::PointCloud2, PointCloud2ConstIterator>(cloud_msg, field_name) {}
};

}  // namespace sensor_msgs
