// The allocator record rcl and rclcpp pass around.  The in-process stand-in
// allocates with the C++ runtime, so the record only carries the C heap
// functions for callers that look at them.
#pragma once

#include <stddef.h>

#ifdef __cplusplus
extern "C"
{
#endif

typedef struct rcutils_allocator_s
{
  void * (*allocate)(size_t size, void * state);
  void (* deallocate)(void * pointer, void * state);
  void * (*reallocate)(void * pointer, size_t size, void * state);
  void * (*zero_allocate)(size_t number_of_elements, size_t size_of_element, void * state);
  void * state;
} rcutils_allocator_t;

rcutils_allocator_t rcutils_get_default_allocator(void);

#ifdef __cplusplus
}
#endif
