#include "rclcpp/context.hpp"

#include <algorithm>
#include <utility>

#include "rclcpp/contexts/default_context.hpp"
#include "rclcpp/detail/arguments.hpp"

namespace rclcpp
{
namespace
{

// Weak references to every initialised context, for the signal handler.
// Never destroyed, like the other process-wide tables.
std::mutex & registry_mutex()
{
  static std::mutex * mutex = new std::mutex;
  return *mutex;
}

std::vector<std::weak_ptr<Context>> & registry()
{
  static auto * contexts = new std::vector<std::weak_ptr<Context>>;
  return *contexts;
}

}  // namespace

Context::Context() = default;

Context::~Context()
{
  // A context left running would keep its callbacks pending forever.
  if (is_valid()) {
    shutdown("context destructor was called while still not shutdown");
  }
}

void Context::init(int argc, char const * const * argv, const rclcpp::InitOptions & init_options)
{
  std::vector<std::string> arguments;
  for (int i = 0; i < argc && argv != nullptr; ++i) {
    arguments.emplace_back(argv[i] != nullptr ? argv[i] : "");
  }
  // Parse before touching state so a bad argument leaves the context as it was.
  auto parsed = std::make_shared<const detail::ParsedArguments>(
    detail::parse_arguments(arguments));
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (valid_) {
      throw ContextAlreadyInitialized();
    }
    valid_ = true;
    init_options_ = init_options;
    shutdown_reason_.clear();
    arguments_ = std::move(arguments);
    global_arguments_ = std::move(parsed);
  }
  std::lock_guard<std::mutex> lock(registry_mutex());
  auto & contexts = registry();
  const Context * self = this;
  // Drop the dead, and this context's entry from an earlier init.
  contexts.erase(
    std::remove_if(
      contexts.begin(), contexts.end(),
      [self](const std::weak_ptr<Context> & weak) {
        auto context = weak.lock();
        return !context || context.get() == self;
      }),
    contexts.end());
  contexts.push_back(weak_from_this());
}

bool Context::is_valid() const
{
  std::lock_guard<std::mutex> lock(mutex_);
  return valid_;
}

const rclcpp::InitOptions & Context::get_init_options() const {return init_options_;}

rclcpp::InitOptions Context::get_init_options()
{
  std::lock_guard<std::mutex> lock(mutex_);
  return init_options_;
}

size_t Context::get_domain_id() const
{
  std::lock_guard<std::mutex> lock(mutex_);
  return init_options_.get_domain_id();
}

std::string Context::shutdown_reason() const
{
  std::lock_guard<std::mutex> lock(mutex_);
  return shutdown_reason_;
}

bool Context::shutdown(const std::string & reason)
{
  std::vector<std::shared_ptr<OnShutdownCallback>> callbacks;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!valid_) {
      return false;
    }
    valid_ = false;
    shutdown_reason_ = reason;
    callbacks = on_shutdown_callbacks_;
  }
  // Callbacks run unlocked: they may query or register on this context.
  for (const auto & callback : callbacks) {
    (*callback)();
  }
  interrupt_all_sleep_for();
  return true;
}

Context::OnShutdownCallback Context::on_shutdown(OnShutdownCallback callback)
{
  add_on_shutdown_callback(callback);
  return callback;
}

OnShutdownCallbackHandle Context::add_on_shutdown_callback(OnShutdownCallback callback)
{
  auto stored = std::make_shared<OnShutdownCallback>(std::move(callback));
  OnShutdownCallbackHandle handle;
  handle.callback = stored;
  std::lock_guard<std::mutex> lock(mutex_);
  on_shutdown_callbacks_.push_back(std::move(stored));
  return handle;
}

bool Context::remove_on_shutdown_callback(const OnShutdownCallbackHandle & callback_handle)
{
  auto target = callback_handle.callback.lock();
  if (!target) {
    return false;
  }
  std::lock_guard<std::mutex> lock(mutex_);
  auto found = std::find(on_shutdown_callbacks_.begin(), on_shutdown_callbacks_.end(), target);
  if (found == on_shutdown_callbacks_.end()) {
    return false;
  }
  on_shutdown_callbacks_.erase(found);
  return true;
}

std::vector<Context::OnShutdownCallback> Context::get_on_shutdown_callbacks() const
{
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<OnShutdownCallback> callbacks;
  for (const auto & callback : on_shutdown_callbacks_) {
    callbacks.push_back(*callback);
  }
  return callbacks;
}

bool Context::sleep_for(const std::chrono::nanoseconds & nanoseconds)
{
  std::unique_lock<std::mutex> lock(sleep_mutex_);
  const auto seen = sleep_interruptions_;
  const auto deadline = std::chrono::steady_clock::now() + nanoseconds;
  sleep_cv_.wait_until(
    lock, deadline, [&] {return sleep_interruptions_ != seen || !is_valid();});
  return sleep_interruptions_ == seen && is_valid();
}

void Context::interrupt_all_sleep_for()
{
  {
    std::lock_guard<std::mutex> lock(sleep_mutex_);
    ++sleep_interruptions_;
  }
  sleep_cv_.notify_all();
}

const std::vector<std::string> & Context::get_arguments() const {return arguments_;}

std::shared_ptr<const detail::ParsedArguments> Context::get_global_arguments() const
{
  std::lock_guard<std::mutex> lock(mutex_);
  return global_arguments_;
}

std::vector<Context::SharedPtr> get_contexts()
{
  std::lock_guard<std::mutex> lock(registry_mutex());
  std::vector<Context::SharedPtr> alive;
  for (const auto & weak : registry()) {
    if (auto context = weak.lock()) {
      if (context->is_valid()) {
        alive.push_back(context);
      }
    }
  }
  return alive;
}

namespace contexts
{

DefaultContext::DefaultContext() = default;

DefaultContext::SharedPtr get_global_default_context()
{
  static DefaultContext::SharedPtr context = DefaultContext::make_shared();
  return context;
}

}  // namespace contexts
}  // namespace rclcpp
