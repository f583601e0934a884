#include "rclcpp/time_source.hpp"

#include <algorithm>
#include <chrono>
#include <future>
#include <string>

#include "clock_impl.hpp"
#include "rclcpp/create_subscription.hpp"
#include "rclcpp/executors/single_threaded_executor.hpp"
#include "rclcpp/logging.hpp"
#include "rosgraph_msgs/msg/clock.hpp"

namespace rclcpp
{

// What the "/clock" callback shares with the time source.
struct TimeSource::State
{
  std::mutex mutex;
  std::vector<std::shared_ptr<Clock>> clocks;
  bool simulated = false;
  int64_t last_ns = 0;  // simulated time stays 0 until "/clock" speaks
};

// The "/clock" subscription and, with the clock thread, its own executor.
struct TimeSource::ClockFollower
{
  ~ClockFollower()
  {
    if (spun.valid()) {
      // A cancel that lands before spin() has started is lost, so repeat it
      // until the thread has ended.
      do {
        executor->cancel();
      } while (spun.wait_for(std::chrono::milliseconds(1)) != std::future_status::ready);
    }
    if (executor && group) {
      executor->remove_callback_group(group, false);
    }
  }

  rclcpp::CallbackGroup::SharedPtr group;
  rclcpp::SubscriptionBase::SharedPtr subscription;
  std::unique_ptr<rclcpp::executors::SingleThreadedExecutor> executor;
  std::future<void> spun;
};

TimeSource::TimeSource(const rclcpp::QoS & qos, bool use_clock_thread)
: qos_(qos), use_clock_thread_(use_clock_thread), state_(std::make_shared<State>()) {}

TimeSource::~TimeSource() {detachNode();}

void TimeSource::set_clock(rclcpp::Clock & clock, bool simulated, int64_t nanoseconds)
{
  clock.impl_->set_ros_time_override(simulated, nanoseconds);
}

void TimeSource::attachNode(
  rclcpp::node_interfaces::NodeBaseInterface::SharedPtr node_base,
  rclcpp::node_interfaces::NodeParametersInterface::SharedPtr node_parameters)
{
  detachNode();
  {
    std::lock_guard<std::mutex> lock(mutex_);
    node_base_ = node_base;
    node_parameters_ = node_parameters;
  }
  // Parameter calls run unlocked: the parameter callback below takes mutex_
  // while the parameters' own lock is held.
  const std::string name = "use_sim_time";
  if (!node_parameters->has_parameter(name)) {
    node_parameters->declare_parameter(name, rclcpp::ParameterValue(false));
  }
  rclcpp::Parameter use_sim_time;
  node_parameters->get_parameter(name, use_sim_time);
  if (use_sim_time.get_type() != rclcpp::ParameterType::PARAMETER_BOOL) {
    throw rclcpp::exceptions::InvalidParameterTypeException(
            name, "expected [bool] got [" + use_sim_time.get_type_name() + "]");
  }
  enable_sim_time(use_sim_time.as_bool());

  // Runs last of the node's callbacks, so the change has been accepted.
  auto callback = node_parameters->add_on_set_parameters_callback(
    [this, name](const std::vector<rclcpp::Parameter> & parameters) {
      rcl_interfaces::msg::SetParametersResult result;
      result.successful = true;
      for (const auto & parameter : parameters) {
        if (parameter.get_name() != name) {
          continue;
        }
        if (parameter.get_type() != rclcpp::ParameterType::PARAMETER_BOOL) {
          result.successful = false;
          result.reason = "use_sim_time parameter must be a boolean";
          return result;
        }
        enable_sim_time(parameter.as_bool());
      }
      return result;
    });
  std::lock_guard<std::mutex> lock(mutex_);
  parameter_callback_ = std::move(callback);
}

void TimeSource::detachNode()
{
  std::unique_ptr<ClockFollower> follower;
  rclcpp::node_interfaces::OnSetParametersCallbackHandle::SharedPtr callback;
  rclcpp::node_interfaces::NodeParametersInterface::SharedPtr parameters;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    follower = std::move(follower_);
    callback = std::move(parameter_callback_);
    parameters = std::move(node_parameters_);
    node_base_.reset();
  }
  if (parameters && callback) {
    parameters->remove_on_set_parameters_callback(callback.get());
  }
  follower.reset();
  std::lock_guard<std::mutex> lock(state_->mutex);
  state_->simulated = false;
  for (const auto & clock : state_->clocks) {
    set_clock(*clock, false, 0);
  }
}

void TimeSource::attachClock(std::shared_ptr<rclcpp::Clock> clock)
{
  if (clock->get_clock_type() != RCL_ROS_TIME) {
    throw std::invalid_argument("Cannot attach clock to a time source that's not a ROS clock");
  }
  std::lock_guard<std::mutex> lock(state_->mutex);
  set_clock(*clock, state_->simulated, state_->last_ns);
  state_->clocks.push_back(std::move(clock));
}

void TimeSource::detachClock(std::shared_ptr<rclcpp::Clock> clock)
{
  std::lock_guard<std::mutex> lock(state_->mutex);
  auto & clocks = state_->clocks;
  auto found = std::find(clocks.begin(), clocks.end(), clock);
  if (found != clocks.end()) {
    set_clock(**found, false, 0);
    clocks.erase(found);
  }
}

bool TimeSource::get_use_clock_thread() const {return use_clock_thread_;}

bool TimeSource::clock_thread_is_joinable()
{
  std::lock_guard<std::mutex> lock(mutex_);
  return follower_ && follower_->spun.valid();
}

void TimeSource::enable_sim_time(bool enable)
{
  std::lock_guard<std::mutex> node_lock(mutex_);
  if (!node_base_) {
    return;
  }
  {
    std::lock_guard<std::mutex> lock(state_->mutex);
    if (state_->simulated == enable) {
      return;
    }
    state_->simulated = enable;
    for (const auto & clock : state_->clocks) {
      set_clock(*clock, enable, state_->last_ns);
    }
  }
  if (!enable) {
    follower_.reset();
    return;
  }
  auto follower = std::make_unique<ClockFollower>();
  follower->group = node_base_->create_callback_group(
    rclcpp::CallbackGroupType::MutuallyExclusive, !use_clock_thread_);
  rclcpp::SubscriptionOptions options;
  options.callback_group = follower->group;
  follower->subscription = rclcpp::create_subscription<rosgraph_msgs::msg::Clock>(
    node_base_, "/clock", qos_,
    [state = state_](const rosgraph_msgs::msg::Clock::ConstSharedPtr & message) {
      const int64_t ns = rclcpp::Time(message->clock).nanoseconds();
      std::lock_guard<std::mutex> lock(state->mutex);
      state->last_ns = ns;
      if (state->simulated) {
        for (const auto & clock : state->clocks) {
          set_clock(*clock, true, ns);
        }
      }
    },
    options);
  if (use_clock_thread_) {
    rclcpp::ExecutorOptions executor_options;
    executor_options.context = node_base_->get_context();
    follower->executor =
      std::make_unique<rclcpp::executors::SingleThreadedExecutor>(executor_options);
    follower->executor->add_callback_group(follower->group, node_base_, false);
    follower->spun = std::async(
      std::launch::async, [executor = follower->executor.get()] {executor->spin();});
  }
  follower_ = std::move(follower);
}

}  // namespace rclcpp
