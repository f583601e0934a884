# quorvane_generate_interfaces(<package> MSGS <files...> [DEPENDENCIES <packages...>]
#                              [EXTRA_INCLUDE_DIRS <dirs...>])
#
# Generates the C++ message headers of <package> at configure time (they are
# plain structs and take milliseconds) and makes the interface target
# <package>__rosidl_generator_cpp.  As with ROS 2 Humble, users link
# ${<package>_TARGETS}.  The headers are regenerated whenever a .msg file or
# the generator changes.

set(QUORVANE_MSG_GENERATOR ${CMAKE_CURRENT_LIST_DIR}/../ros2_shim/msg_gen/generate_msgs.py
    CACHE INTERNAL "")
find_package(Python3 REQUIRED COMPONENTS Interpreter)

function(quorvane_generate_interfaces package)
  cmake_parse_arguments(ARG "" "" "MSGS;DEPENDENCIES;EXTRA_INCLUDE_DIRS" ${ARGN})
  set(out_dir ${CMAKE_BINARY_DIR}/generated_interfaces/${package}/include)
  execute_process(
    COMMAND ${Python3_EXECUTABLE} ${QUORVANE_MSG_GENERATOR}
            --package ${package} --output ${out_dir} ${ARG_MSGS}
    RESULT_VARIABLE result
    ERROR_VARIABLE error)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "Generating the messages of ${package} failed: ${error}")
  endif()
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
               ${ARG_MSGS} ${QUORVANE_MSG_GENERATOR})

  set(target ${package}__rosidl_generator_cpp)
  add_library(${target} INTERFACE)
  target_include_directories(${target} INTERFACE
    $<BUILD_INTERFACE:${out_dir}> $<INSTALL_INTERFACE:include>)
  foreach(dir IN LISTS ARG_EXTRA_INCLUDE_DIRS)
    target_include_directories(${target} INTERFACE $<BUILD_INTERFACE:${dir}>)
  endforeach()
  foreach(dep IN LISTS ARG_DEPENDENCIES)
    target_link_libraries(${target} INTERFACE ${dep}__rosidl_generator_cpp)
  endforeach()
  set(${package}_TARGETS ${target} CACHE INTERNAL "Targets of the ${package} messages")
  install(DIRECTORY ${out_dir}/ DESTINATION include)
endfunction()
