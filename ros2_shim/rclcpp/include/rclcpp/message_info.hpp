#pragma once

#include <cstdint>

namespace rclcpp
{

/// What the middleware tells about a received message.  On the in-process
/// bus that is when it was published and when it was received.
class MessageInfo
{
public:
  MessageInfo() = default;

  int64_t source_timestamp() const {return source_timestamp_;}
  int64_t received_timestamp() const {return received_timestamp_;}

  void set_timestamps(int64_t source_ns, int64_t received_ns)
  {
    source_timestamp_ = source_ns;
    received_timestamp_ = received_ns;
  }

private:
  int64_t source_timestamp_ = 0;
  int64_t received_timestamp_ = 0;
};

}  // namespace rclcpp
