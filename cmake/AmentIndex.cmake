# quorvane_register_share_directory(<package> <folder> [NO_INSTALL])
#
# Makes <folder> the share directory of <package> for
# ament_index_cpp::get_package_share_directory, both in the build tree and
# after installation:
#  - in ${CMAKE_BINARY_DIR}/ament_prefix, the package's marker in the resource
#    index and a symbolic link share/<package> -> <folder> (so edits to the
#    folder are seen without re-running CMake);
#  - unless NO_INSTALL (test fixtures), an install rule for the marker, so the
#    install prefix is an ament prefix too; the files of share/<package>
#    are installed by the caller.
# QUORVANE_AMENT_PREFIX (cache) holds the build-tree prefix; point
# AMENT_PREFIX_PATH at it to run from the build tree.

set(QUORVANE_AMENT_PREFIX ${CMAKE_BINARY_DIR}/ament_prefix
    CACHE INTERNAL "ament prefix inside the build tree")

function(quorvane_register_share_directory package folder)
  cmake_parse_arguments(ARG "NO_INSTALL" "" "" ${ARGN})
  get_filename_component(source ${folder} ABSOLUTE BASE_DIR ${CMAKE_CURRENT_SOURCE_DIR})
  if(NOT IS_DIRECTORY ${source})
    message(FATAL_ERROR "quorvane_register_share_directory(${package}): ${source} is not a folder")
  endif()

  set(index ${QUORVANE_AMENT_PREFIX}/share/ament_index/resource_index/packages)
  file(MAKE_DIRECTORY ${index})
  if(NOT EXISTS ${index}/${package})
    file(TOUCH ${index}/${package})
  endif()

  set(link ${QUORVANE_AMENT_PREFIX}/share/${package})
  if(IS_SYMLINK ${link})
    file(REMOVE ${link})
  elseif(EXISTS ${link})
    message(FATAL_ERROR "quorvane_register_share_directory(${package}): ${link} exists and is not a link")
  endif()
  file(CREATE_LINK ${source} ${link} SYMBOLIC)

  if(NOT ARG_NO_INSTALL)
    install(FILES ${index}/${package}
            DESTINATION share/ament_index/resource_index/packages)
  endif()
endfunction()
