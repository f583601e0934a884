#include "rclcpp/utilities.hpp"

#include "rclcpp/contexts/default_context.hpp"
#include "rclcpp/detail/arguments.hpp"

namespace rclcpp
{
namespace
{

Context::SharedPtr or_default(Context::SharedPtr context)
{
  return context ? context : contexts::get_global_default_context();
}

std::vector<std::string> to_vector(int argc, char const * const * argv)
{
  std::vector<std::string> arguments;
  for (int i = 0; i < argc && argv != nullptr; ++i) {
    arguments.emplace_back(argv[i] != nullptr ? argv[i] : "");
  }
  return arguments;
}

}  // namespace

void init(
  int argc, char const * const * argv, const InitOptions & init_options,
  SignalHandlerOptions signal_handler_options)
{
  contexts::get_global_default_context()->init(argc, argv, init_options);
  install_signal_handlers(signal_handler_options);
}

std::vector<std::string> init_and_remove_ros_arguments(
  int argc, char const * const * argv, const InitOptions & init_options)
{
  init(argc, argv, init_options);
  return remove_ros_arguments(argc, argv);
}

std::vector<std::string> remove_ros_arguments(int argc, char const * const * argv)
{
  return detail::remove_ros_arguments(to_vector(argc, argv));
}

bool ok(Context::SharedPtr context)
{
  return or_default(std::move(context))->is_valid();
}

bool shutdown(Context::SharedPtr context, const std::string & reason)
{
  auto default_context = contexts::get_global_default_context();
  if (!context) {
    context = default_context;
  }
  const bool was_valid = context->shutdown(reason);
  if (context == default_context) {
    uninstall_signal_handlers();
  }
  return was_valid;
}

void on_shutdown(std::function<void()> callback, Context::SharedPtr context)
{
  or_default(std::move(context))->add_on_shutdown_callback(std::move(callback));
}

bool sleep_for(const std::chrono::nanoseconds & nanoseconds, Context::SharedPtr context)
{
  return or_default(std::move(context))->sleep_for(nanoseconds);
}

const char * get_c_string(const char * string_in) {return string_in;}

const char * get_c_string(const std::string & string_in) {return string_in.c_str();}

}  // namespace rclcpp
