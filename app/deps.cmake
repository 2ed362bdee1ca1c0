# `vcdalbum inspect` reads disc images back through libvcdinfo.
find_package(PkgConfig REQUIRED)
pkg_check_modules(VCDALBUM_CLI_VCDINFO REQUIRED IMPORTED_TARGET libvcdinfo)
target_link_libraries(vcdalbum_cli PRIVATE PkgConfig::VCDALBUM_CLI_VCDINFO)
