// Clock kinds and time values as rcl names them.
#pragma once

#include <stdbool.h>
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

// What a jump of a ROS-time clock was: a switch to or from simulated time, or
// a change of the time it shows.
typedef enum rcl_clock_change_e
{
  RCL_ROS_TIME_NO_CHANGE = 1,
  RCL_ROS_TIME_ACTIVATED = 2,
  RCL_ROS_TIME_DEACTIVATED = 3,
  RCL_SYSTEM_TIME_NO_CHANGE = 4
} rcl_clock_change_t;

typedef struct rcl_time_jump_s
{
  rcl_clock_change_t clock_change;
  rcl_duration_t delta;
} rcl_time_jump_t;

// A jump is noticed on a switch when on_clock_change holds, forward from
// min_forward (positive; zero never) and backward from min_backward
// (negative; zero never).
typedef struct rcl_jump_threshold_s
{
  bool on_clock_change;
  rcl_duration_t min_forward;
  rcl_duration_t min_backward;
} rcl_jump_threshold_t;

#ifdef __cplusplus
}
#endif
