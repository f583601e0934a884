#include <future>
#include <memory>

#include "rclcpp_fixture.hpp"
#include "rosgraph_msgs/msg/clock.hpp"

namespace
{

using namespace std::chrono_literals;
using rosgraph_msgs::msg::Clock;

class SimTimeTest : public RclcppTest
{
protected:
  void publish_clock(int32_t sec, uint32_t nanosec)
  {
    if (!clock_node_) {
      clock_node_ = std::make_shared<rclcpp::Node>("clock_source");
      clock_pub_ = clock_node_->create_publisher<Clock>("/clock", 10);
    }
    Clock message;
    message.clock.sec = sec;
    message.clock.nanosec = nanosec;
    clock_pub_->publish(message);
  }

  static rclcpp::NodeOptions sim_time_options(bool clock_thread = true)
  {
    rclcpp::NodeOptions options;
    options.append_parameter_override("use_sim_time", true).use_clock_thread(clock_thread);
    return options;
  }

  rclcpp::Node::SharedPtr clock_node_;
  rclcpp::Publisher<Clock>::SharedPtr clock_pub_;
};

TEST_F(SimTimeTest, EveryNodeDeclaresUseSimTimeFalseAndReadsTheSystemTime)
{
  auto node = std::make_shared<rclcpp::Node>("wall");
  bool use_sim_time = true;
  ASSERT_TRUE(node->get_parameter("use_sim_time", use_sim_time));
  EXPECT_FALSE(use_sim_time);
  const auto before = rclcpp::Clock(RCL_SYSTEM_TIME).now().nanoseconds();
  const auto now = node->now();
  EXPECT_EQ(now.get_clock_type(), RCL_ROS_TIME);
  EXPECT_GE(now.nanoseconds(), before);
  EXPECT_FALSE(node->get_clock()->ros_time_is_active());
}

TEST_F(SimTimeTest, ClockTopicDrivesTheNodeClockWithoutSpinning)
{
  auto node = std::make_shared<rclcpp::Node>("simulated", sim_time_options());
  EXPECT_TRUE(node->get_clock()->ros_time_is_active());
  EXPECT_EQ(node->now().nanoseconds(), 0);  // nothing heard yet
  publish_clock(42, 500000000);
  EXPECT_TRUE(eventually([&] {return node->now().nanoseconds() == 42500000000LL;}));
  publish_clock(43, 0);
  EXPECT_TRUE(eventually([&] {return node->now().seconds() == 43.0;}));
}

TEST_F(SimTimeTest, SwitchingUseSimTimeAtRunTime)
{
  auto node = std::make_shared<rclcpp::Node>("switching");
  ASSERT_TRUE(node->set_parameter(rclcpp::Parameter("use_sim_time", true)).successful);
  publish_clock(7, 0);
  ASSERT_TRUE(eventually([&] {return node->now().nanoseconds() == 7000000000LL;}));

  ASSERT_TRUE(node->set_parameter(rclcpp::Parameter("use_sim_time", false)).successful);
  EXPECT_GT(node->now().seconds(), 1e9);  // back on the system clock
  ASSERT_TRUE(node->set_parameter(rclcpp::Parameter("use_sim_time", true)).successful);
  EXPECT_EQ(node->now().nanoseconds(), 7000000000LL);  // the last time heard

  EXPECT_FALSE(node->set_parameter(rclcpp::Parameter("use_sim_time", 1)).successful);
}

TEST_F(SimTimeTest, WithoutClockThreadTheNodeExecutorServesTheClock)
{
  auto node = std::make_shared<rclcpp::Node>("no_thread", sim_time_options(false));
  publish_clock(3, 0);
  std::this_thread::sleep_for(10ms);
  EXPECT_EQ(node->now().nanoseconds(), 0);
  rclcpp::spin_some(node);
  EXPECT_EQ(node->now().nanoseconds(), 3000000000LL);
}

TEST_F(SimTimeTest, SimulatedSleepWakesOnClockAndOnShutdown)
{
  auto node = std::make_shared<rclcpp::Node>("sleeper", sim_time_options());
  auto clock = node->get_clock();
  auto slept = std::async(
    std::launch::async, [&] {return clock->sleep_until(rclcpp::Time(10, 0, RCL_ROS_TIME));});
  publish_clock(5, 0);
  EXPECT_EQ(slept.wait_for(20ms), std::future_status::timeout);
  publish_clock(10, 0);
  ASSERT_EQ(slept.wait_for(30s), std::future_status::ready);
  EXPECT_TRUE(slept.get());

  auto interrupted = std::async(
    std::launch::async, [&] {return clock->sleep_until(rclcpp::Time(99, 0, RCL_ROS_TIME));});
  std::this_thread::sleep_for(10ms);
  rclcpp::shutdown();
  ASSERT_EQ(interrupted.wait_for(30s), std::future_status::ready);
  EXPECT_FALSE(interrupted.get());
}

}  // namespace
