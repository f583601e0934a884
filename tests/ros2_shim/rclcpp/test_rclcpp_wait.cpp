#include <atomic>
#include <future>
#include <memory>
#include <thread>

#include "geometry_msgs/msg/point.hpp"
#include "rclcpp/wait_for_message.hpp"
#include "rclcpp_fixture.hpp"

namespace
{

using namespace std::chrono_literals;
using geometry_msgs::msg::Point;

class WaitTest : public RclcppTest {};

TEST_F(WaitTest, WaitSetReportsEmptyTimeoutAndReady)
{
  auto node = std::make_shared<rclcpp::Node>("waiter");
  rclcpp::WaitSet empty;
  EXPECT_EQ(empty.wait(0ms).kind(), rclcpp::WaitResultKind::Empty);

  auto subscription = node->create_subscription<Point>("wait_topic", 1, [](const Point &) {});
  auto guard = std::make_shared<rclcpp::GuardCondition>();
  rclcpp::WaitSet wait_set({subscription}, {guard});
  EXPECT_EQ(wait_set.wait(1ms).kind(), rclcpp::WaitResultKind::Timeout);

  guard->trigger();
  auto result = wait_set.wait(0ms);
  ASSERT_EQ(result.kind(), rclcpp::WaitResultKind::Ready);
  EXPECT_NE(result.get_wait_set().get_rcl_wait_set().guard_conditions[0], nullptr);
  EXPECT_EQ(result.get_wait_set().get_rcl_wait_set().subscriptions[0], nullptr);
  // The wait consumed the trigger.
  EXPECT_EQ(wait_set.wait(0ms).kind(), rclcpp::WaitResultKind::Timeout);

  // A message published from another thread wakes an unbounded wait.
  auto publisher = node->create_publisher<Point>("wait_topic", 1);
  std::thread later([&] {
      std::this_thread::sleep_for(5ms);
      publisher->publish(Point());
    });
  result = wait_set.wait();
  later.join();
  ASSERT_EQ(result.kind(), rclcpp::WaitResultKind::Ready);
  EXPECT_NE(result.get_wait_set().get_rcl_wait_set().subscriptions[0], nullptr);

  rclcpp::WaitSet second;
  EXPECT_THROW(second.add_subscription(subscription), std::runtime_error);
}

TEST_F(WaitTest, WaitForMessageTakesOnePublishedMessage)
{
  auto node = std::make_shared<rclcpp::Node>("message_waiter");
  auto publisher = node->create_publisher<Point>("wanted", 1);
  auto published = std::async(
    std::launch::async, [&] {
      // Publish until the subscription made by wait_for_message exists.
      eventually([&] {return publisher->get_subscription_count() > 0;});
      Point p;
      p.x = 3.5;
      publisher->publish(p);
    });
  Point out;
  EXPECT_TRUE(rclcpp::wait_for_message(out, node, "wanted", 30s));
  EXPECT_DOUBLE_EQ(out.x, 3.5);
  published.get();
  // Its subscription lived only for the call.
  EXPECT_EQ(publisher->get_subscription_count(), 0u);
}

TEST_F(WaitTest, WaitForMessageTimesOutWithoutPublisher)
{
  auto node = std::make_shared<rclcpp::Node>("patient");
  Point out;
  out.x = 9;
  EXPECT_FALSE(rclcpp::wait_for_message(out, node, "silent", 20ms));
  EXPECT_DOUBLE_EQ(out.x, 9);  // untouched
}

TEST_F(WaitTest, WaitForMessageEndsWhenTheContextShutsDown)
{
  auto node = std::make_shared<rclcpp::Node>("interrupted");
  auto context = node->get_node_options().context();
  const size_t callbacks_before = context->get_on_shutdown_callbacks().size();
  auto waited = std::async(
    std::launch::async, [&] {
      Point out;
      return rclcpp::wait_for_message(out, node, "never", std::chrono::hours(1));
    });
  std::this_thread::sleep_for(20ms);
  rclcpp::shutdown();
  ASSERT_EQ(waited.wait_for(30s), std::future_status::ready) << "wait_for_message hung";
  EXPECT_FALSE(waited.get());
  EXPECT_EQ(context->get_on_shutdown_callbacks().size(), callbacks_before);

  // On a context that is already shut down it returns at once.
  Point out;
  auto subscription = rclcpp::Subscription<Point>::SharedPtr();
  EXPECT_FALSE(rclcpp::wait_for_message(out, subscription, context, std::chrono::hours(1)));
}

TEST_F(WaitTest, AWaitSetSharesItsSubscriptionWithTheExecutorOfItsGroup)
{
  // As with rcl, an executor serving the subscription's group keeps taking
  // its messages while a wait set holds it; a group the node's executor does
  // not spin leaves every message to the wait.
  auto node = std::make_shared<rclcpp::Node>("shared_sub");
  auto publisher = node->create_publisher<Point>("contended", 5);
  rclcpp::executors::SingleThreadedExecutor executor;
  executor.add_node(node);
  auto spun = std::async(std::launch::async, [&] {executor.spin();});
  for (const bool spun_group : {true, false}) {
    std::atomic<int> callbacks{0};
    rclcpp::SubscriptionOptions options;
    options.callback_group = node->create_callback_group(
      rclcpp::CallbackGroupType::MutuallyExclusive, spun_group);
    auto subscription = node->create_subscription<Point>(
      "contended", 5, [&](const Point &) {++callbacks;}, options);
    rclcpp::WaitSet wait_set({subscription});
    publisher->publish(Point());
    if (spun_group) {
      EXPECT_TRUE(eventually([&] {return callbacks == 1;}));
    } else {
      ASSERT_EQ(wait_set.wait(30s).kind(), rclcpp::WaitResultKind::Ready);
      Point out;
      rclcpp::MessageInfo info;
      EXPECT_TRUE(subscription->take(out, info));
      std::this_thread::sleep_for(20ms);
      EXPECT_EQ(callbacks.load(), 0);
    }
  }
  executor.cancel();
  spun.get();
}

}  // namespace
