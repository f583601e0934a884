// Signals reach the whole process, so these cases live in their own program.
#include <signal.h>

#include <cstdlib>
#include <future>
#include <memory>

#include "rclcpp_fixture.hpp"

namespace
{

using namespace std::chrono_literals;

TEST(SignalsTest, SignalShutsDownAndEndsSpin)
{
  struct Case
  {
    int signal;
    rclcpp::SignalHandlerOptions options;
  };
  for (const auto & c : {Case{SIGINT, rclcpp::SignalHandlerOptions::All},
      Case{SIGTERM, rclcpp::SignalHandlerOptions::SigTerm},
      Case{SIGINT, rclcpp::SignalHandlerOptions::SigInt}})
  {
    const char * argv[] = {"test"};
    rclcpp::init(1, argv, rclcpp::InitOptions(), c.options);
    ASSERT_TRUE(rclcpp::signal_handlers_installed());
    auto node = std::make_shared<rclcpp::Node>("signalled");
    rclcpp::executors::MultiThreadedExecutor executor(rclcpp::ExecutorOptions(), 2);
    executor.add_node(node->get_node_base_interface());
    auto spun = std::async(std::launch::async, [&] {executor.spin();});
    ASSERT_TRUE(eventually([&] {return executor.is_spinning();}));

    ASSERT_EQ(raise(c.signal), 0);
    ASSERT_EQ(spun.wait_for(30s), std::future_status::ready) << "spin did not end";
    spun.get();
    EXPECT_FALSE(rclcpp::ok());
    EXPECT_EQ(
      rclcpp::contexts::get_global_default_context()->shutdown_reason(), "signal handler");

    EXPECT_FALSE(rclcpp::shutdown());  // already shut down, but it uninstalls
    EXPECT_FALSE(rclcpp::signal_handlers_installed());
  }
}

TEST(SignalsTest, ContextsThatOptOutSurviveTheSignal)
{
  rclcpp::InitOptions options;
  options.shutdown_on_signal = false;
  const char * argv[] = {"test"};
  rclcpp::init(1, argv, options);
  auto other = std::make_shared<rclcpp::Context>();
  other->init(1, argv);
  ASSERT_EQ(raise(SIGINT), 0);
  EXPECT_TRUE(eventually([&] {return !other->is_valid();}));
  EXPECT_TRUE(rclcpp::ok());
  rclcpp::shutdown();
}

TEST(SignalsTest, ProcessMayEndWithoutShutdown)
{
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
  {
    const char * argv[] = {"test"};
    rclcpp::init(1, argv);
    auto node = std::make_shared<rclcpp::Node>("left_running");
    std::exit(0);
  }, testing::ExitedWithCode(0), "");
}

}  // namespace
