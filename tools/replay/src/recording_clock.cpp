#include "recording_clock.hpp"

#include <algorithm>

#include "scene/ros_messages.hpp"

namespace replay
{
namespace
{

// A recording player's clock ticks at 40 to 100 Hz.
constexpr std::chrono::milliseconds kTick(10);
// Each 0.5 s look-up timeout then lasts 25 ms.
constexpr double kRunOutRate = 20.0;

}  // namespace

RecordingClock::RecordingClock(const rclcpp::Node::SharedPtr & node)
: publisher_(node->create_publisher<rosgraph_msgs::msg::Clock>("/clock", rclcpp::ClockQoS()))
{
  ticker_ = std::thread([this] {
        std::unique_lock<std::mutex> lock(mutex_);
        while (!stop_) {
          if (rate_ > 0.0) {
            publish(nowLocked());
            wake_.wait_for(lock, kTick);
          } else {
            wake_.wait(lock);
          }
        }
      });
}

RecordingClock::~RecordingClock()
{
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  wake_.notify_all();
  ticker_.join();
}

void RecordingClock::standAt(double seconds)
{
  std::lock_guard<std::mutex> lock(mutex_);
  shown_ = std::max(nowLocked(), seconds);
  since_ = WallClock::now();
  rate_ = 0.0;
  publish(shown_);
}

void RecordingClock::run()
{
  setRate(1.0);
}

void RecordingClock::runOut()
{
  setRate(kRunOutRate);
}

double RecordingClock::now() const
{
  std::lock_guard<std::mutex> lock(mutex_);
  return nowLocked();
}

double RecordingClock::nowLocked() const
{
  return shown_ + rate_ * std::chrono::duration<double>(WallClock::now() - since_).count();
}

void RecordingClock::setRate(double rate)
{
  {
    std::lock_guard<std::mutex> lock(mutex_);
    shown_ = nowLocked();
    since_ = WallClock::now();
    rate_ = std::max(rate_, rate);
  }
  wake_.notify_all();
}

void RecordingClock::publish(double seconds)
{
  publisher_->publish(scene::clockAt(seconds));
}

}  // namespace replay
