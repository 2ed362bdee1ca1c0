# The host's own building blocks (project file, disc planner, picture
# preparation, menu pages, progress) live in app/host/ as one object library:
# the tool links them, and so do the unit tests in tests/app, each with the
# library flavour it uses.
find_package(nlohmann_json 3 REQUIRED)
find_package(PkgConfig REQUIRED)
pkg_check_modules(VCDALBUM_HOST_PKGS REQUIRED IMPORTED_TARGET GLOBAL
  libavformat libavcodec libswscale libswresample libavutil libvcdinfo cairo fontconfig freetype2 libjpeg)

file(GLOB host_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/host/*.cpp)
# The two pieces that drive Authoring belong to the tool alone; the unit
# tests take the rest.
set(host_runs ${CMAKE_CURRENT_SOURCE_DIR}/host/disc_build.cpp ${CMAKE_CURRENT_SOURCE_DIR}/host/gallery.cpp)
list(REMOVE_ITEM host_sources ${host_runs})
target_sources(vcdalbum_cli PRIVATE ${host_runs})
add_library(vcdalbum_host OBJECT ${host_sources})
# The project root gives the header-only pieces shared with the library and
# the components (disc capacity, atomic file writer).
target_include_directories(vcdalbum_host PUBLIC ${CMAKE_CURRENT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/include ${PROJECT_SOURCE_DIR})
target_link_libraries(vcdalbum_host PUBLIC nlohmann_json::nlohmann_json PkgConfig::VCDALBUM_HOST_PKGS vcdalbum_picture_input)
target_compile_features(vcdalbum_host PUBLIC cxx_std_20)
target_link_libraries(vcdalbum_cli PRIVATE vcdalbum_host)

# The library loads the two components at run time, from beside itself: the
# tool is only usable, and `scripts/demo` only works, when they are built too.
foreach(component vrxstream qelburner)
  if(TARGET ${component})
    add_dependencies(vcdalbum_cli ${component})
  endif()
endforeach()
