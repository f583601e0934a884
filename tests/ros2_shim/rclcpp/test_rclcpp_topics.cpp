#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "geometry_msgs/msg/point.hpp"
#include "rclcpp_fixture.hpp"
#include "std_msgs/msg/bool.hpp"
#include "std_msgs/msg/header.hpp"

namespace
{

using geometry_msgs::msg::Point;
using std_msgs::msg::Header;

Point point(double x)
{
  Point p;
  p.x = x;
  return p;
}

std::vector<double> take_all(rclcpp::Subscription<Point> & subscription)
{
  std::vector<double> xs;
  Point p;
  rclcpp::MessageInfo info;
  while (subscription.take(p, info)) {
    xs.push_back(p.x);
  }
  return xs;
}

auto ignore = [](const Point::ConstSharedPtr) {};

class TopicsTest : public RclcppTest {};

// Built like the lifecycle publisher: its own publish is gated, the base one is not.
template<typename MessageT, typename AllocatorT = std::allocator<void>>
class GatedPublisher : public rclcpp::Publisher<MessageT, AllocatorT>
{
public:
  GatedPublisher(
    rclcpp::node_interfaces::NodeBaseInterface * node_base, const std::string & topic,
    const rclcpp::QoS & qos, const rclcpp::PublisherOptionsWithAllocator<AllocatorT> & options)
  : rclcpp::Publisher<MessageT, AllocatorT>(node_base, topic, qos, options) {}

  void publish(const MessageT & msg)
  {
    if (open) {
      rclcpp::Publisher<MessageT, AllocatorT>::publish(msg);
    }
  }

  bool open = false;
};

TEST_F(TopicsTest, KeepLastQueueDropsTheOldest)
{
  auto node = std::make_shared<rclcpp::Node>("queue_node");
  auto subscription = node->create_subscription<Point>("points", rclcpp::QoS(3), ignore);
  auto publisher = node->create_publisher<Point>("points", 10);
  for (int i = 1; i <= 5; ++i) {
    publisher->publish(point(i));
  }
  EXPECT_EQ(take_all(*subscription), (std::vector<double>{3, 4, 5}));
}

TEST_F(TopicsTest, TransientLocalReplaysToLateTransientLocalSubscribersOnly)
{
  auto node = std::make_shared<rclcpp::Node>("latch_node");
  auto publisher = node->create_publisher<Point>(
    "/latched", rclcpp::QoS(2).transient_local());
  for (int i = 1; i <= 3; ++i) {
    publisher->publish(point(i));
  }
  auto late_latched = node->create_subscription<Point>(
    "/latched", rclcpp::QoS(5).transient_local(), ignore);
  auto late_volatile = node->create_subscription<Point>("/latched", rclcpp::QoS(5), ignore);
  EXPECT_EQ(take_all(*late_latched), (std::vector<double>{2, 3}));
  EXPECT_TRUE(take_all(*late_volatile).empty());

  publisher->publish(point(4));
  EXPECT_EQ(take_all(*late_latched), (std::vector<double>{4}));
  EXPECT_EQ(take_all(*late_volatile), (std::vector<double>{4}));
}

TEST_F(TopicsTest, IncompatibleQosDeliversNothing)
{
  auto node = std::make_shared<rclcpp::Node>("qos_node");
  struct Case
  {
    const char * name;
    rclcpp::QoS publisher;
    rclcpp::QoS subscription;
    bool delivered;
  };
  const std::vector<Case> cases = {
    {"reliable_to_best_effort", rclcpp::QoS(5), rclcpp::SensorDataQoS(), true},
    {"best_effort_to_reliable", rclcpp::SensorDataQoS(), rclcpp::QoS(5), false},
    {"volatile_to_transient_local", rclcpp::QoS(5), rclcpp::QoS(5).transient_local(), false},
    {"transient_local_to_volatile", rclcpp::QoS(5).transient_local(), rclcpp::QoS(5), true},
  };
  for (const auto & c : cases) {
    const std::string topic = std::string("qos_") + c.name;
    auto subscription = node->create_subscription<Point>(topic, c.subscription, ignore);
    auto publisher = node->create_publisher<Point>(topic, c.publisher);
    publisher->publish(point(1));
    EXPECT_EQ(take_all(*subscription).size(), c.delivered ? 1u : 0u) << c.name;
    EXPECT_EQ(publisher->get_subscription_count(), c.delivered ? 1u : 0u) << c.name;
    EXPECT_EQ(node->count_subscribers(topic), 1u) << c.name;
  }
}

TEST_F(TopicsTest, AnotherTypeOnTheSameTopicIsRefused)
{
  auto node = std::make_shared<rclcpp::Node>("type_node");
  auto publisher = node->create_publisher<Point>("typed", 1);
  EXPECT_THROW(
    node->create_subscription<Header>("typed", 1, [](const Header &) {}), std::runtime_error);
  EXPECT_THROW(node->create_publisher<Header>("/typed", 1), std::runtime_error);
  // Once every endpoint is gone the name is free for another type.
  publisher.reset();
  EXPECT_NO_THROW(node->create_publisher<Header>("typed", 1));
}

TEST_F(TopicsTest, NamesResolveAgainstTheNode)
{
  auto node = std::make_shared<rclcpp::Node>("camera", "/robot/front");
  struct Case
  {
    const char * given;
    const char * resolved;
  };
  for (const auto & c : std::vector<Case>{
      {"image", "/robot/front/image"},
      {"/image", "/image"},
      {"~/image", "/robot/front/camera/image"},
      {"{node}/info", "/robot/front/camera/info"},
    })
  {
    EXPECT_STREQ(node->create_publisher<Point>(c.given, 1)->get_topic_name(), c.resolved);
  }
  for (const char * bad : {"", "a//b", "1st", "image/", "a~b", "with space"}) {
    EXPECT_THROW(node->create_publisher<Point>(bad, 1), rclcpp::exceptions::InvalidTopicNameError)
      << bad;
  }
  EXPECT_STREQ(rclcpp::Node("root").get_fully_qualified_name(), "/root");
  EXPECT_THROW(rclcpp::Node("9lives"), rclcpp::exceptions::InvalidNodeNameError);
  EXPECT_THROW(rclcpp::Node("n", "/bad/"), rclcpp::exceptions::InvalidNamespaceError);
}

TEST_F(TopicsTest, RemapRulesRenameTopicsAndNodes)
{
  init({"-r", "points:=/renamed", "-r", "__ns:=/moved"});
  auto node = std::make_shared<rclcpp::Node>("remapped");
  EXPECT_STREQ(node->get_fully_qualified_name(), "/moved/remapped");
  auto subscription = node->create_subscription<Point>("/renamed", 5, ignore);
  auto publisher = node->create_publisher<Point>("points", 5);
  EXPECT_STREQ(publisher->get_topic_name(), "/renamed");
  publisher->publish(point(7));
  EXPECT_EQ(take_all(*subscription), (std::vector<double>{7}));

  // Node-local rules win over the global ones.
  rclcpp::NodeOptions options;
  options.arguments({"--ros-args", "-r", "points:=/local", "-r", "__node:=local_name"});
  auto local = std::make_shared<rclcpp::Node>("remapped", options);
  EXPECT_STREQ(local->get_name(), "local_name");
  EXPECT_STREQ(local->create_publisher<Point>("points", 1)->get_topic_name(), "/local");
  // Without the global arguments only the node's own rules apply.
  options.arguments({}).use_global_arguments(false);
  auto isolated = std::make_shared<rclcpp::Node>("isolated", options);
  EXPECT_STREQ(isolated->create_publisher<Point>("points", 1)->get_topic_name(), "/points");
}

TEST_F(TopicsTest, EveryCallbackFormReceivesItsOwnUsableMessage)
{
  auto node = std::make_shared<rclcpp::Node>("forms_node");
  std::vector<double> seen;
  std::vector<std::shared_ptr<rclcpp::SubscriptionBase>> subscriptions = {
    node->create_subscription<Point>(
      "forms", 5, [&](Point::ConstSharedPtr m) {seen.push_back(m->x);}),
    node->create_subscription<Point>(
      "forms", 5, [&](const Point & m) {seen.push_back(m.x);}),
    node->create_subscription<Point>(
      "forms", 5, [&](Point::SharedPtr m) {m->x += 100; seen.push_back(m->x);}),
    node->create_subscription<Point>(
      "forms", 5, [&](Point::UniquePtr m) {m->x += 200; seen.push_back(m->x);}),
    node->create_subscription<Point>(
      "forms", 5, [&](const std::shared_ptr<const Point> & m) {seen.push_back(m->x);}),
    node->create_subscription<Point>(
      "forms", 5,
      [&](Point::ConstSharedPtr m, const rclcpp::MessageInfo &) {seen.push_back(m->x);}),
  };
  node->create_publisher<Point>("forms", 5)->publish(point(1));
  rclcpp::spin_some(node);
  std::sort(seen.begin(), seen.end());
  // The mutable forms worked on copies: the others still saw 1.
  EXPECT_EQ(seen, (std::vector<double>{1, 1, 1, 1, 101, 201}));
}

TEST_F(TopicsTest, DerivedPublisherGatesOnlyItsOwnPublish)
{
  auto node = std::make_shared<rclcpp::Node>("gated_node");
  auto subscription = node->create_subscription<Point>("gated", 5, ignore);
  auto gated = node->create_publisher<Point, std::allocator<void>, GatedPublisher<Point>>(
    "gated", 5);
  gated->publish(point(1));
  EXPECT_TRUE(take_all(*subscription).empty());
  rclcpp::Publisher<Point>::SharedPtr plain = gated;
  plain->publish(point(2));
  plain->publish(std::make_unique<Point>(point(3)));
  EXPECT_EQ(take_all(*subscription), (std::vector<double>{2, 3}));
}

TEST_F(TopicsTest, PublishingAfterShutdownIsDroppedQuietly)
{
  auto node = std::make_shared<rclcpp::Node>("late_node");
  auto subscription = node->create_subscription<Point>("late", 5, ignore);
  auto publisher = node->create_publisher<Point>("late", 5);
  rclcpp::shutdown();
  EXPECT_NO_THROW(publisher->publish(point(1)));
  EXPECT_TRUE(take_all(*subscription).empty());
  EXPECT_THROW(rclcpp::Node("after_shutdown"), std::runtime_error);
}

}  // namespace
