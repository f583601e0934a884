#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <future>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include "geometry_msgs/msg/point.hpp"
#include "rclcpp_fixture.hpp"

namespace
{

using namespace std::chrono_literals;
using geometry_msgs::msg::Point;

class ExecutorsTest : public RclcppTest {};

/// Spins the executor on a thread; the destructor cancels and joins it.
class Spinner
{
public:
  explicit Spinner(rclcpp::Executor & executor)
  : executor_(executor), done_(std::async(std::launch::async, [&executor] {executor.spin();})) {}

  ~Spinner()
  {
    // A cancel before spin() has started is lost: repeat until it ends.
    while (done_.valid() && done_.wait_for(1ms) != std::future_status::ready) {
      executor_.cancel();
    }
  }

  /// True when spin returned within the (generous) limit; rethrows its exception.
  bool returned(std::chrono::seconds limit = 30s)
  {
    if (done_.wait_for(limit) != std::future_status::ready) {
      return false;
    }
    done_.get();
    return true;
  }

private:
  rclcpp::Executor & executor_;
  std::future<void> done_;
};

/// Counts callbacks that are inside at the same time.
struct Overlap
{
  std::atomic<int> inside{0};
  std::atomic<int> most{0};
  std::atomic<int> calls{0};

  void run(std::chrono::milliseconds work)
  {
    const int now = ++inside;
    int seen = most.load();
    while (now > seen && !most.compare_exchange_weak(seen, now)) {}
    std::this_thread::sleep_for(work);
    --inside;
    ++calls;
  }
};

TEST_F(ExecutorsTest, MutuallyExclusiveGroupNeverRunsTwoCallbacksAtOnce)
{
  auto node = std::make_shared<rclcpp::Node>("exclusive");
  auto group = node->create_callback_group(rclcpp::CallbackGroupType::MutuallyExclusive);
  Overlap overlap;
  auto work = [&] {overlap.run(2ms);};
  auto timer_a = node->create_wall_timer(1ms, work, group);
  auto timer_b = node->create_wall_timer(1ms, work, group);
  rclcpp::SubscriptionOptions options;
  options.callback_group = group;
  auto subscription = node->create_subscription<Point>(
    "busy", 10, [&](const Point &) {work();}, options);
  auto publisher = node->create_publisher<Point>("busy", 10);

  rclcpp::executors::MultiThreadedExecutor executor(rclcpp::ExecutorOptions(), 4);
  executor.add_node(node);
  Spinner spinner(executor);
  ASSERT_TRUE(eventually([&] {
      publisher->publish(Point());
      return overlap.calls >= 60;
    }));
  EXPECT_EQ(overlap.most.load(), 1);
}

TEST_F(ExecutorsTest, ReentrantGroupsAndSeparateGroupsRunInParallel)
{
  struct Case
  {
    const char * name;
    rclcpp::CallbackGroupType first;
    rclcpp::CallbackGroupType second;
    bool same_group;
  };
  for (const auto & c : std::vector<Case>{
      {"one reentrant group", rclcpp::CallbackGroupType::Reentrant,
        rclcpp::CallbackGroupType::Reentrant, true},
      {"two exclusive groups", rclcpp::CallbackGroupType::MutuallyExclusive,
        rclcpp::CallbackGroupType::MutuallyExclusive, false},
    })
  {
    auto node = std::make_shared<rclcpp::Node>("parallel");
    auto group_a = node->create_callback_group(c.first);
    auto group_b = c.same_group ? group_a : node->create_callback_group(c.second);
    // Each callback waits for the other to be inside too: they can only
    // meet when the executor runs them at the same time.
    std::mutex mutex;
    std::condition_variable cv;
    int inside = 0;
    std::atomic<bool> met{false};
    auto rendezvous = [&] {
        std::unique_lock<std::mutex> lock(mutex);
        ++inside;
        cv.notify_all();
        if (cv.wait_for(lock, 10s, [&] {return inside >= 2 || met;}) && inside >= 2) {
          met = true;
          cv.notify_all();
        }
        --inside;
      };
    auto timer_a = node->create_wall_timer(1ms, rendezvous, group_a);
    auto timer_b = node->create_wall_timer(1ms, rendezvous, group_b);
    rclcpp::executors::MultiThreadedExecutor executor(rclcpp::ExecutorOptions(), 4);
    executor.add_node(node);
    Spinner spinner(executor);
    EXPECT_TRUE(eventually([&] {return met.load();})) << c.name;
  }
}

TEST_F(ExecutorsTest, TimerFiresRepeatedlyUntilCancelledAndAgainAfterReset)
{
  auto node = std::make_shared<rclcpp::Node>("timed");
  std::atomic<int> count{0};
  auto timer = node->create_wall_timer(5ms, [&] {++count;});
  rclcpp::executors::SingleThreadedExecutor executor;
  executor.add_node(node);
  Spinner spinner(executor);
  ASSERT_TRUE(eventually([&] {return count >= 5;}));

  timer->cancel();
  EXPECT_TRUE(timer->is_canceled());
  std::this_thread::sleep_for(20ms);  // let a callback already running end
  const int after_cancel = count;
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(count.load(), after_cancel);

  timer->reset();
  EXPECT_FALSE(timer->is_canceled());
  EXPECT_TRUE(eventually([&] {return count >= after_cancel + 3;}));
}

TEST_F(ExecutorsTest, TimerCallbackMayTakeTheTimer)
{
  auto node = std::make_shared<rclcpp::Node>("self_cancel");
  std::atomic<int> count{0};
  auto timer = node->create_wall_timer(
    1ms, [&](rclcpp::TimerBase & self) {
      if (++count == 3) {
        self.cancel();
      }
    });
  rclcpp::executors::SingleThreadedExecutor executor;
  executor.add_node(node);
  Spinner spinner(executor);
  ASSERT_TRUE(eventually([&] {return timer->is_canceled();}));
  std::this_thread::sleep_for(20ms);
  EXPECT_EQ(count.load(), 3);
}

TEST_F(ExecutorsTest, SpinEndsOnCancelAndOnShutdown)
{
  for (const bool by_shutdown : {false, true}) {
    init({});
    auto node = std::make_shared<rclcpp::Node>("ending");
    for (const size_t threads : {1u, 4u}) {
      std::unique_ptr<rclcpp::Executor> executor;
      if (threads == 1) {
        executor = std::make_unique<rclcpp::executors::SingleThreadedExecutor>();
      } else {
        executor = std::make_unique<rclcpp::executors::MultiThreadedExecutor>(
          rclcpp::ExecutorOptions(), threads);
      }
      executor->add_node(node);
      Spinner spinner(*executor);
      ASSERT_TRUE(eventually([&] {return executor->is_spinning();}));
      if (by_shutdown && threads == 4) {
        rclcpp::shutdown();
      } else {
        executor->cancel();
      }
      EXPECT_TRUE(spinner.returned()) << "threads " << threads << " shutdown " << by_shutdown;
      executor->remove_node(node);
    }
  }
}

TEST_F(ExecutorsTest, ExceptionFromCallbackLeavesSpin)
{
  for (const size_t threads : {1u, 4u}) {
    auto node = std::make_shared<rclcpp::Node>("throwing");
    auto timer = node->create_wall_timer(1ms, [] {throw std::logic_error("callback failed");});
    std::unique_ptr<rclcpp::Executor> executor;
    if (threads == 1) {
      executor = std::make_unique<rclcpp::executors::SingleThreadedExecutor>();
    } else {
      executor = std::make_unique<rclcpp::executors::MultiThreadedExecutor>(
        rclcpp::ExecutorOptions(), threads);
    }
    executor->add_node(node);
    EXPECT_THROW(executor->spin(), std::logic_error) << threads;
    EXPECT_FALSE(executor->is_spinning());
    // The group was released: the executor can run the callback again.
    EXPECT_THROW(executor->spin_once(10s), std::logic_error) << threads;
  }
}

TEST_F(ExecutorsTest, NodeBelongsToOneExecutorAtATime)
{
  auto node = std::make_shared<rclcpp::Node>("owned");
  rclcpp::executors::SingleThreadedExecutor first;
  rclcpp::executors::SingleThreadedExecutor second;
  first.add_node(node->get_node_base_interface());
  EXPECT_THROW(second.add_node(node), std::runtime_error);
  first.remove_node(node);
  EXPECT_NO_THROW(second.add_node(node));
  // Leaving scope with the node still added releases it.
  {
    rclcpp::executors::SingleThreadedExecutor temporary;
    second.remove_node(node);
    temporary.add_node(node);
  }
  EXPECT_NO_THROW(first.add_node(node));
}

TEST_F(ExecutorsTest, MessagesArriveInOrderAndSpinSomeRunsEachReadyEntityOnce)
{
  auto node = std::make_shared<rclcpp::Node>("ordered");
  std::vector<double> received;
  auto subscription = node->create_subscription<Point>(
    "ordered", 10, [&](const Point & p) {received.push_back(p.x);});
  auto publisher = node->create_publisher<Point>("ordered", 10);
  for (int i = 0; i < 4; ++i) {
    Point p;
    p.x = i;
    publisher->publish(p);
  }
  rclcpp::executors::SingleThreadedExecutor executor;
  executor.add_node(node);
  executor.spin_some();
  EXPECT_EQ(received, (std::vector<double>{0}));
  executor.spin_all(10s);
  EXPECT_EQ(received, (std::vector<double>{0, 1, 2, 3}));
  executor.spin_once(1ms);  // nothing left: returns after the timeout
  EXPECT_EQ(received.size(), 4u);
}

TEST_F(ExecutorsTest, GroupsCreatedWhileSpinningAreServed)
{
  auto node = std::make_shared<rclcpp::Node>("growing");
  rclcpp::executors::MultiThreadedExecutor executor(rclcpp::ExecutorOptions(), 2);
  executor.add_node(node);
  Spinner spinner(executor);
  ASSERT_TRUE(eventually([&] {return executor.is_spinning();}));
  std::atomic<int> count{0};
  auto group = node->create_callback_group(rclcpp::CallbackGroupType::MutuallyExclusive);
  auto timer = node->create_wall_timer(1ms, [&] {++count;}, group);
  EXPECT_TRUE(eventually([&] {return count >= 3;}));

  auto hidden = node->create_callback_group(rclcpp::CallbackGroupType::MutuallyExclusive, false);
  std::atomic<int> hidden_count{0};
  auto hidden_timer = node->create_wall_timer(1ms, [&] {++hidden_count;}, hidden);
  std::this_thread::sleep_for(30ms);
  EXPECT_EQ(hidden_count.load(), 0);  // not added with the node
}

TEST_F(ExecutorsTest, ExplicitGroupIsServedOnlyByItsOwnExecutor)
{
  // The pattern of a listener with its own thread: a group kept out of the
  // node's executor and spun by a dedicated one.
  auto node = std::make_shared<rclcpp::Node>("listener_host");
  auto own = node->create_callback_group(rclcpp::CallbackGroupType::MutuallyExclusive, false);
  std::atomic<int> own_count{0};
  std::atomic<int> default_count{0};
  auto own_timer = node->create_wall_timer(1ms, [&] {++own_count;}, own);
  auto default_timer = node->create_wall_timer(1ms, [&] {++default_count;});

  rclcpp::executors::SingleThreadedExecutor dedicated;
  dedicated.add_callback_group(own, node->get_node_base_interface());
  EXPECT_THROW(
    rclcpp::executors::SingleThreadedExecutor().add_callback_group(
      own, node->get_node_base_interface()), std::runtime_error);
  Spinner dedicated_spinner(dedicated);
  ASSERT_TRUE(eventually([&] {return own_count >= 3;}));
  EXPECT_EQ(default_count.load(), 0);

  rclcpp::executors::SingleThreadedExecutor main_executor;
  main_executor.add_node(node);
  Spinner main_spinner(main_executor);
  EXPECT_TRUE(eventually([&] {return default_count >= 3;}));
}

TEST_F(ExecutorsTest, ConcurrentPublishersLoseNothingWithKeepAll)
{
  auto node = std::make_shared<rclcpp::Node>("stress");
  std::atomic<long> sum{0};
  std::atomic<int> received{0};
  auto group = node->create_callback_group(rclcpp::CallbackGroupType::Reentrant);
  rclcpp::SubscriptionOptions options;
  options.callback_group = group;
  auto subscription = node->create_subscription<Point>(
    "stress", rclcpp::QoS(rclcpp::KeepAll()),
    [&](Point::ConstSharedPtr p) {
      sum += static_cast<long>(p->x);
      ++received;
    }, options);
  rclcpp::executors::MultiThreadedExecutor executor(rclcpp::ExecutorOptions(), 4);
  executor.add_node(node);
  Spinner spinner(executor);

  constexpr int kThreads = 4;
  constexpr int kEach = 500;
  std::vector<std::thread> publishers;
  for (int t = 0; t < kThreads; ++t) {
    publishers.emplace_back([&node] {
        auto publisher = node->create_publisher<Point>("stress", 10);
        for (int i = 1; i <= kEach; ++i) {
          Point p;
          p.x = i;
          publisher->publish(p);
        }
      });
  }
  for (auto & thread : publishers) {
    thread.join();
  }
  ASSERT_TRUE(eventually([&] {return received == kThreads * kEach;}));
  EXPECT_EQ(sum.load(), static_cast<long>(kThreads) * kEach * (kEach + 1) / 2);
}

TEST_F(ExecutorsTest, SubscriptionsComeAndGoWhilePublishing)
{
  auto node = std::make_shared<rclcpp::Node>("churn");
  auto publisher = node->create_publisher<Point>("churn", 5);
  rclcpp::executors::MultiThreadedExecutor executor(rclcpp::ExecutorOptions(), 2);
  executor.add_node(node);
  Spinner spinner(executor);
  std::atomic<bool> stop{false};
  std::thread publishing([&] {
      while (!stop) {
        publisher->publish(Point());
      }
    });
  std::atomic<int> delivered{0};
  for (int i = 0; i < 200; ++i) {
    auto subscription = node->create_subscription<Point>(
      "churn", 5, [&](const Point &) {++delivered;});
    std::this_thread::sleep_for(100us);
  }
  stop = true;
  publishing.join();
  EXPECT_GT(delivered.load(), 0);
}

TEST_F(ExecutorsTest, SpinUntilFutureComplete)
{
  auto node = std::make_shared<rclcpp::Node>("future");
  std::promise<int> promise;
  auto future = promise.get_future().share();
  auto timer = node->create_wall_timer(1ms, [&] {
        static bool set = false;
        if (!set) {
          set = true;
          promise.set_value(5);
        }
      });
  EXPECT_EQ(
    rclcpp::spin_until_future_complete(node, future, 30s), rclcpp::FutureReturnCode::SUCCESS);
  std::promise<void> never;
  EXPECT_EQ(
    rclcpp::spin_until_future_complete(node, never.get_future(), 20ms),
    rclcpp::FutureReturnCode::TIMEOUT);
}

}  // namespace
