# Adds each listed folder that holds a CMakeLists.txt.  Components of the
# stand-in and the perception library are brought up one at a time; a folder
# that is not there yet is simply skipped.
function(quorvane_add_subdirectories)
  foreach(dir IN LISTS ARGN)
    if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/CMakeLists.txt)
      add_subdirectory(${dir})
    endif()
  endforeach()
endfunction()
