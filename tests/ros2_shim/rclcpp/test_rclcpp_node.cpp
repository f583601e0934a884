#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "geometry_msgs/msg/point.hpp"
#include "rclcpp_fixture.hpp"

namespace
{

using geometry_msgs::msg::Point;

class NodeTest : public RclcppTest {};

rclcpp::NodeOptions from_overrides()
{
  rclcpp::NodeOptions options;
  options.automatically_declare_parameters_from_overrides(true);
  return options;
}

TEST_F(NodeTest, TypedParameterReadsFromCommandLineOverrides)
{
  init({"-p", "executors:=4", "-p", "tracker_config:=custom.yaml", "-p", "close_cam1:=true",
      "-p", "ratio:=0.25"});
  auto node = std::make_shared<rclcpp::Node>("object_detect", from_overrides());

  int executors = 1;
  EXPECT_TRUE(node->get_parameter("executors", executors));
  EXPECT_EQ(executors, 4);  // 64-bit ROS integer narrowed to int
  std::string config;
  EXPECT_TRUE(node->get_parameter("tracker_config", config));
  EXPECT_EQ(config, "custom.yaml");
  bool closed = false;
  EXPECT_TRUE(node->get_parameter("close_cam1", closed));
  EXPECT_TRUE(closed);
  float ratio = 0;
  EXPECT_TRUE(node->get_parameter("ratio", ratio));
  EXPECT_FLOAT_EQ(ratio, 0.25f);

  int cameras = 2;
  EXPECT_FALSE(node->get_parameter("cameras", cameras));
  EXPECT_EQ(cameras, 2);  // untouched when absent
  EXPECT_EQ(node->get_parameter_or("cameras", 7), 7);

  EXPECT_THROW(
    node->get_parameter("tracker_config", executors),
    rclcpp::exceptions::InvalidParameterTypeException);
}

TEST_F(NodeTest, ParameterChangesPassTheNodeCallbacks)
{
  auto node = std::make_shared<rclcpp::Node>("tunable");
  node->declare_parameter("cam1.cam_height", 0.5);
  std::vector<std::string> seen;
  auto handle = node->add_on_set_parameters_callback(
    [&](const std::vector<rclcpp::Parameter> & parameters) {
      rcl_interfaces::msg::SetParametersResult result;
      result.successful = true;
      for (const auto & parameter : parameters) {
        seen.push_back(parameter.get_name());
        if (parameter.as_double() < 0) {
          result.successful = false;
          result.reason = "negative height";
        }
      }
      return result;
    });
  EXPECT_TRUE(node->set_parameter(rclcpp::Parameter("cam1.cam_height", 0.7)).successful);
  EXPECT_FALSE(node->set_parameter(rclcpp::Parameter("cam1.cam_height", -1.0)).successful);
  EXPECT_DOUBLE_EQ(node->get_parameter("cam1.cam_height").as_double(), 0.7);
  EXPECT_EQ(seen.size(), 2u);

  handle.reset();  // releasing the handle unregisters the callback
  EXPECT_TRUE(node->set_parameter(rclcpp::Parameter("cam1.cam_height", -1.0)).successful);
  EXPECT_EQ(seen.size(), 2u);
}

TEST_F(NodeTest, IdentityLoggerAndGraphCounts)
{
  auto node = std::make_shared<rclcpp::Node>("detector", "robot");
  EXPECT_STREQ(node->get_name(), "detector");
  EXPECT_STREQ(node->get_namespace(), "/robot");
  EXPECT_STREQ(node->get_fully_qualified_name(), "/robot/detector");
  EXPECT_STREQ(node->get_logger().get_name(), "robot.detector");
  EXPECT_EQ(node->get_node_options().context(), rclcpp::contexts::get_global_default_context());

  auto first = node->create_publisher<Point>("exception_handle", 1);
  auto second = node->create_publisher<Point>("/robot/exception_handle", 1);
  auto subscription = node->create_subscription<Point>(
    "exception_handle", 1, [](const Point &) {});
  EXPECT_EQ(node->count_publishers("exception_handle"), 2u);
  EXPECT_EQ(node->count_subscribers("/robot/exception_handle"), 1u);
  EXPECT_EQ(first->get_subscription_count(), 1u);
  EXPECT_EQ(subscription->get_publisher_count(), 2u);
  second.reset();
  EXPECT_EQ(node->count_publishers("exception_handle"), 1u);
}

TEST_F(NodeTest, EntitiesNeedAGroupOfTheirOwnNode)
{
  auto node = std::make_shared<rclcpp::Node>("owner");
  auto other = std::make_shared<rclcpp::Node>("stranger");
  auto foreign = other->create_callback_group(rclcpp::CallbackGroupType::MutuallyExclusive);
  rclcpp::SubscriptionOptions options;
  options.callback_group = foreign;
  EXPECT_THROW(
    node->create_subscription<Point>("t", 1, [](const Point &) {}, options),
    rclcpp::exceptions::MissingGroupNodeException);
  EXPECT_THROW(
    node->create_wall_timer(std::chrono::milliseconds(1), [] {}, foreign),
    rclcpp::exceptions::MissingGroupNodeException);
  EXPECT_THROW(
    node->create_wall_timer(std::chrono::milliseconds(-1), [] {}), std::invalid_argument);
}

}  // namespace

namespace
{

TEST(LoggingTest, LevelsFilterAndInheritAlongDottedNames)
{
  auto parent = rclcpp::get_logger("quiet_parent");
  auto child = parent.get_child("child");
  EXPECT_STREQ(child.get_name(), "quiet_parent.child");

  testing::internal::CaptureStderr();
  RCLCPP_DEBUG(child, "hidden %d", 1);
  RCLCPP_INFO(child, "shown %d", 2);
  parent.set_level(rclcpp::Logger::Level::Error);
  RCLCPP_WARN_STREAM(child, "hidden " << 3);
  RCLCPP_ERROR_STREAM(child, "shown " << 4);
  child.set_level(rclcpp::Logger::Level::Debug);
  RCLCPP_DEBUG(child, "shown %s", "5");
  for (int i = 0; i < 3; ++i) {
    RCLCPP_ERROR_ONCE(child, "once");
  }
  const std::string out = testing::internal::GetCapturedStderr();
  EXPECT_EQ(out.find("hidden"), std::string::npos) << out;
  for (const char * expected : {"[INFO]", "shown 2", "[ERROR]", "shown 4", "[DEBUG]", "shown 5",
      "[quiet_parent.child]: "})
  {
    EXPECT_NE(out.find(expected), std::string::npos) << expected;
  }
  EXPECT_EQ(out.find("once"), out.rfind("once"));
}

}  // namespace
