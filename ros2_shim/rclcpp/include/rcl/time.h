// Clock kinds and time values as rcl names them.
#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C"
{
#endif

typedef enum rcl_clock_type_e
{
  RCL_CLOCK_UNINITIALIZED = 0,
  RCL_ROS_TIME,
  RCL_SYSTEM_TIME,
  RCL_STEADY_TIME
} rcl_clock_type_t;

typedef int64_t rcl_time_point_value_t;
typedef int64_t rcl_duration_value_t;

typedef struct rcl_time_point_s
{
  rcl_time_point_value_t nanoseconds;
  rcl_clock_type_t clock_type;
} rcl_time_point_t;

typedef struct rcl_duration_s
{
  rcl_duration_value_t nanoseconds;
} rcl_duration_t;

#ifdef __cplusplus
}
#endif
