#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "rclcpp/rclcpp.hpp"
#include "rosgraph_msgs/msg/clock.hpp"

namespace replay
{

// The "/clock" a recording player publishes.  It stands still at the frame in
// hand, so that the node sees the recording's time whatever the machine's
// speed, and runs on at the recording's rate when told, as a player's clock
// does: a tf2 look-up the node waits in then times out as on a robot.  It never
// goes back.
class RecordingClock
{
public:
  explicit RecordingClock(const rclcpp::Node::SharedPtr & node);
  ~RecordingClock();

  RecordingClock(const RecordingClock &) = delete;
  RecordingClock & operator=(const RecordingClock &) = delete;

  // Stands at `seconds`, or where it is if that is later, and publishes it.
  void standAt(double seconds);
  // Runs on from where it is at one simulated second per second.
  void run();
  // Runs on many times faster: at the end nothing the node waits for on this
  // clock holds the replay up.
  void runOut();
  double now() const;

private:
  using WallClock = std::chrono::steady_clock;

  double nowLocked() const;
  void setRate(double rate);
  void publish(double seconds);

  rclcpp::Publisher<rosgraph_msgs::msg::Clock>::SharedPtr publisher_;
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  double shown_ = 0.0;  // at `since_`
  double rate_ = 0.0;   // simulated seconds per wall second
  WallClock::time_point since_ = WallClock::now();
  bool stop_ = false;
  std::thread ticker_;
};

}  // namespace replay
