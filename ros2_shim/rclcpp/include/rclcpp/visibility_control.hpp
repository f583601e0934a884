// Symbol export markers; the stand-in is one library, so they are empty.
#pragma once

#define RCLCPP_PUBLIC
#define RCLCPP_LOCAL
#define RCLCPP_PUBLIC_TYPE
