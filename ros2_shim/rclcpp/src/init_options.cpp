#include "rclcpp/init_options.hpp"

#include <cstdlib>

extern "C" {

static void * default_allocate(size_t size, void *) {return std::malloc(size);}
static void default_deallocate(void * pointer, void *) {std::free(pointer);}
static void * default_reallocate(void * pointer, size_t size, void *)
{
  return std::realloc(pointer, size);
}
static void * default_zero_allocate(size_t count, size_t size, void *)
{
  return std::calloc(count, size);
}

rcutils_allocator_t rcutils_get_default_allocator(void)
{
  rcutils_allocator_t allocator;
  allocator.allocate = default_allocate;
  allocator.deallocate = default_deallocate;
  allocator.reallocate = default_reallocate;
  allocator.zero_allocate = default_zero_allocate;
  allocator.state = nullptr;
  return allocator;
}

}  // extern "C"

namespace rclcpp
{

InitOptions::InitOptions(rcl_allocator_t allocator)
: allocator_(allocator) {}

bool InitOptions::auto_initialize_logging() const {return initialize_logging_;}

InitOptions & InitOptions::auto_initialize_logging(bool initialize_logging)
{
  initialize_logging_ = initialize_logging;
  return *this;
}

InitOptions & InitOptions::set_domain_id(std::size_t domain_id)
{
  domain_id_ = domain_id;
  return *this;
}

std::size_t InitOptions::get_domain_id() const {return domain_id_;}

InitOptions & InitOptions::use_default_domain_id()
{
  domain_id_ = 0;
  return *this;
}

const rcl_allocator_t & InitOptions::get_allocator() const {return allocator_;}

}  // namespace rclcpp
