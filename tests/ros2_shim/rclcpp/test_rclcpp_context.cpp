#include <atomic>
#include <future>
#include <memory>
#include <string>
#include <vector>

#include "rclcpp_fixture.hpp"

namespace
{

using namespace std::chrono_literals;

const char * kArgv[] = {"program", "--ros-args", "-r", "a:=b", "--", "user_arg"};
constexpr int kArgc = 6;

TEST(ContextTest, LifecycleOfInitAndShutdown)
{
  auto context = std::make_shared<rclcpp::Context>();
  EXPECT_FALSE(context->is_valid());
  context->init(kArgc, kArgv);
  EXPECT_TRUE(context->is_valid());
  EXPECT_THROW(context->init(kArgc, kArgv), rclcpp::ContextAlreadyInitialized);
  EXPECT_EQ(context->get_arguments().size(), 6u);
  ASSERT_NE(context->get_global_arguments(), nullptr);

  int first = 0;
  int removed = 0;
  context->add_on_shutdown_callback([&] {++first;});
  auto handle = context->add_on_shutdown_callback([&] {++removed;});
  EXPECT_TRUE(context->remove_on_shutdown_callback(handle));
  EXPECT_FALSE(context->remove_on_shutdown_callback(handle));

  EXPECT_TRUE(context->shutdown("done here"));
  EXPECT_FALSE(context->shutdown("again"));  // callbacks run once per shutdown
  EXPECT_EQ(first, 1);
  EXPECT_EQ(removed, 0);
  EXPECT_EQ(context->shutdown_reason(), "done here");
  EXPECT_FALSE(context->is_valid());

  context->init(kArgc, kArgv);  // a shut-down context may start again
  EXPECT_TRUE(context->is_valid());
  EXPECT_EQ(context->shutdown_reason(), "");
}

TEST(ContextTest, SleepEndsEarlyOnShutdown)
{
  auto context = std::make_shared<rclcpp::Context>();
  context->init(kArgc, kArgv);
  EXPECT_TRUE(context->sleep_for(1ms));
  auto slept = std::async(std::launch::async, [&] {return context->sleep_for(std::chrono::hours(1));});
  std::this_thread::sleep_for(10ms);
  context->shutdown("wake up");
  ASSERT_EQ(slept.wait_for(30s), std::future_status::ready);
  EXPECT_FALSE(slept.get());
  EXPECT_FALSE(context->sleep_for(1ms));
}

TEST(ContextTest, GlobalFunctionsUseTheDefaultContext)
{
  EXPECT_FALSE(rclcpp::ok());
  rclcpp::init(kArgc, kArgv, rclcpp::InitOptions(), rclcpp::SignalHandlerOptions::None);
  EXPECT_TRUE(rclcpp::ok());
  EXPECT_TRUE(rclcpp::ok(rclcpp::contexts::get_global_default_context()));
  std::atomic<int> calls{0};
  rclcpp::on_shutdown([&] {++calls;});
  EXPECT_TRUE(rclcpp::shutdown());
  EXPECT_EQ(calls.load(), 1);
  EXPECT_EQ(
    rclcpp::contexts::get_global_default_context()->shutdown_reason(),
    "user called rclcpp::shutdown()");
  EXPECT_FALSE(rclcpp::ok());
  EXPECT_FALSE(rclcpp::sleep_for(1ms));

  EXPECT_EQ(
    rclcpp::remove_ros_arguments(kArgc, kArgv),
    (std::vector<std::string>{"program", "user_arg"}));
}

TEST(ContextTest, BadRosArgumentsFailInitAndLeaveTheContextAlone)
{
  const char * bad[] = {"program", "--ros-args", "-r"};
  auto context = std::make_shared<rclcpp::Context>();
  EXPECT_ANY_THROW(context->init(3, bad));
  EXPECT_FALSE(context->is_valid());
}

}  // namespace
