// The readiness record of a wait: after a wait, an entry is non-null when
// the entity at that position was ready.
#pragma once

#include <stddef.h>

#ifdef __cplusplus
extern "C"
{
#endif

typedef struct rcl_subscription_s rcl_subscription_t;
typedef struct rcl_guard_condition_s rcl_guard_condition_t;
typedef struct rcl_timer_s rcl_timer_t;

typedef struct rcl_wait_set_s
{
  const rcl_subscription_t ** subscriptions;
  size_t size_of_subscriptions;
  const rcl_guard_condition_t ** guard_conditions;
  size_t size_of_guard_conditions;
  const rcl_timer_t ** timers;
  size_t size_of_timers;
} rcl_wait_set_t;

#ifdef __cplusplus
}
#endif
