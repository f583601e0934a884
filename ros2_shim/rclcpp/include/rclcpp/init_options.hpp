#pragma once

#include <cstddef>

#include "rcl/allocator.h"

namespace rclcpp
{

/// Options for initialising a context.
class InitOptions
{
public:
  /// When true, SIGINT/SIGTERM (with handlers installed) shut the context down.
  bool shutdown_on_signal = true;

  explicit InitOptions(rcl_allocator_t allocator = rcl_get_default_allocator());

  bool auto_initialize_logging() const;
  InitOptions & auto_initialize_logging(bool initialize_logging);

  InitOptions & set_domain_id(std::size_t domain_id);
  std::size_t get_domain_id() const;
  InitOptions & use_default_domain_id();

  const rcl_allocator_t & get_allocator() const;

private:
  rcl_allocator_t allocator_;
  bool initialize_logging_ = true;
  std::size_t domain_id_ = 0;
};

}  // namespace rclcpp
