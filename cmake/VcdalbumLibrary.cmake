# Each subsystem folder adds its sources with vcdalbum_add_part(), listed by
# name (see VcdalbumSources.cmake); the
# library is then made from all parts twice: `vcdalbum` (shared, what hosts
# link) and `vcdalbum_static` (what the unit tests link, internals included).

function(vcdalbum_add_part name)
  if(NOT ARGN)
    return()
  endif()
  vcdalbum_checked_sources(sources ${ARGN})
  add_library(vcdalbum_${name} OBJECT ${sources})
  target_include_directories(vcdalbum_${name} PUBLIC ${PROJECT_SOURCE_DIR}/include ${PROJECT_SOURCE_DIR})
  target_compile_definitions(vcdalbum_${name} PRIVATE VCDALBUM_BUILDING_DLL)
  set_target_properties(vcdalbum_${name} PROPERTIES
    POSITION_INDEPENDENT_CODE ON
    CXX_VISIBILITY_PRESET hidden
    VISIBILITY_INLINES_HIDDEN ON)
  set_property(GLOBAL APPEND PROPERTY VCDALBUM_PARTS vcdalbum_${name})
endfunction()

# On 32-bit x86, compiles `target` for SSE2 with SSE2 floating point: x87
# registers keep excess precision, so pixels computed in float or double
# would differ from the 64-bit build's, and the codec's vector kernels need
# SSE2. Windows calls in with the stack aligned to 4 bytes only, so there
# functions that keep vectors on the stack realign it first.
function(vcdalbum_compute_in_sse2 target)
  if(CMAKE_SYSTEM_PROCESSOR MATCHES "^i.86$")
    target_compile_options(${target} PRIVATE -msse2 -mfpmath=sse)
    if(WIN32)
      target_compile_options(${target} PRIVATE -mstackrealign)
    endif()
  endif()
endfunction()

# What the unit tests link: `vcdalbum::internals`. Normally that is
# `vcdalbum_static`. With VCDALBUM_UNIT_TESTS_THROUGH_DLL (Windows only) it
# is a test-only twin of the DLL, `vcdalbum_internals.dll`: the very objects
# of libvcdalbum.dll, linked the same way, exporting every symbol instead of
# the public ones only. The tests then call the library across a DLL
# boundary, as hosts do: its own heap users, its own runtime copy, its own
# statics, stack realignment at each entry. The shipped DLL itself, with its
# exports only, is what the host test program links.
option(VCDALBUM_UNIT_TESTS_THROUGH_DLL "Unit tests call the library in a DLL that exports its internals (Windows)" OFF)
function(vcdalbum_internals_for_tests objects)
  if(VCDALBUM_UNIT_TESTS_THROUGH_DLL AND WIN32)
    add_library(vcdalbum_internals SHARED ${objects})
    target_link_libraries(vcdalbum_internals PUBLIC ${CMAKE_DL_LIBS} PRIVATE -static user32
      -Wl,--export-all-symbols -Wl,--exclude-libs,libgcc.a:libgcc_eh.a:libstdc++.a:libwinpthread.a:libpthread.a:libmingwex.a:libmingw32.a)
    target_include_directories(vcdalbum_internals PUBLIC ${PROJECT_SOURCE_DIR}/include ${PROJECT_SOURCE_DIR})
    target_compile_features(vcdalbum_internals PUBLIC cxx_std_20)
    add_library(vcdalbum::internals ALIAS vcdalbum_internals)
  else()
    add_library(vcdalbum::internals ALIAS vcdalbum_static)
  endif()
endfunction()

function(vcdalbum_finish_library)
  get_property(parts GLOBAL PROPERTY VCDALBUM_PARTS)
  set(objects)
  foreach(part IN LISTS parts)
    list(APPEND objects $<TARGET_OBJECTS:${part}>)
  endforeach()

  add_library(vcdalbum SHARED ${objects})
  add_library(vcdalbum_static STATIC ${objects})
  foreach(lib vcdalbum vcdalbum_static)
    target_include_directories(${lib} PUBLIC
      $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}/include>
      $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
    target_link_libraries(${lib} PUBLIC ${CMAKE_DL_LIBS})
    # The public headers use C++20 (std::span).
    target_compile_features(${lib} PUBLIC cxx_std_20)
  endforeach()
  # Unit tests reach the internal headers too.
  target_include_directories(vcdalbum_static PUBLIC $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}>)
  if(WIN32)
    target_compile_definitions(vcdalbum_static PUBLIC VCDALBUM_STATIC)
    # The DLL carries its runtime (libgcc, libstdc++, winpthread) so that a
    # host needs nothing beside it; user32 for the message box.
    target_link_libraries(vcdalbum PRIVATE -static user32)
  endif()
  vcdalbum_internals_for_tests("${objects}")
  set_target_properties(vcdalbum PROPERTIES
    VERSION ${PROJECT_VERSION}
    SOVERSION ${PROJECT_VERSION_MAJOR}
    BUILD_RPATH_USE_ORIGIN ON
    INSTALL_RPATH "$ORIGIN")
endfunction()
