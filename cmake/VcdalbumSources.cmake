# Source lists are written out by hand: a file that is renamed or deleted
# without its list being updated stops the configure step, instead of
# silently dropping a part of a target or a test.

# vcdalbum_checked_sources(<out-var> <files...>): the files, relative to the
# calling folder, as absolute paths; a missing one is a configure error.
function(vcdalbum_checked_sources out)
  set(paths)
  foreach(file IN LISTS ARGN)
    cmake_path(ABSOLUTE_PATH file BASE_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR} OUTPUT_VARIABLE path)
    if(NOT EXISTS ${path})
      message(FATAL_ERROR "${CMAKE_CURRENT_SOURCE_DIR}: listed source ${file} does not exist")
    endif()
    list(APPEND paths ${path})
  endforeach()
  set(${out} ${paths} PARENT_SCOPE)
endfunction()

# vcdalbum_add_room(<name> SOURCES <files...> [LIBS <libs...>]): one room of
# the command-line tool, an object library `vcdalbum_room_<name>` that the
# tool's library `vcdalbum_app` collects. Rooms include each other as
# "<room>/<file>.h" from app/, and the library's internal headers from the
# project root.
function(vcdalbum_add_room name)
  cmake_parse_arguments(R "" "" "SOURCES;LIBS" ${ARGN})
  vcdalbum_checked_sources(sources ${R_SOURCES})
  add_library(vcdalbum_room_${name} OBJECT ${sources})
  target_link_libraries(vcdalbum_room_${name} PUBLIC vcdalbum_room_base ${R_LIBS})
  set_property(GLOBAL APPEND PROPERTY VCDALBUM_ROOMS vcdalbum_room_${name})
endfunction()
