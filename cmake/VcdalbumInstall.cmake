# What `cmake --install` puts in place for host developers: the public
# headers, the library, the two components it loads at run time (next to it,
# where it looks for them), the command-line tool, a CMake package
# (find_package(vcdalbum) -> vcdalbum::vcdalbum) and a pkg-config file.

include(CMakePackageConfigHelpers)

install(DIRECTORY ${PROJECT_SOURCE_DIR}/include/vcdalbum
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}
        FILES_MATCHING PATTERN "*.h")

install(TARGETS vcdalbum EXPORT vcdalbumTargets
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
        RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# The components are optional in a library-only build.
foreach(component vrxstream qelburner)
  if(TARGET ${component})
    install(TARGETS ${component}
            LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
            RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
endforeach()

if(TARGET vcdalbum_cli)
  install(TARGETS vcdalbum_cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()

set(VCDALBUM_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/vcdalbum)
install(EXPORT vcdalbumTargets NAMESPACE vcdalbum:: DESTINATION ${VCDALBUM_CMAKE_DIR})
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/vcdalbumConfig.cmake.in
  ${CMAKE_BINARY_DIR}/vcdalbumConfig.cmake
  INSTALL_DESTINATION ${VCDALBUM_CMAKE_DIR})
write_basic_package_version_file(${CMAKE_BINARY_DIR}/vcdalbumConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/vcdalbumConfig.cmake ${CMAKE_BINARY_DIR}/vcdalbumConfigVersion.cmake
        DESTINATION ${VCDALBUM_CMAKE_DIR})

# pkg-config paths are relative to the file's own place, so that the package
# works wherever `cmake --install --prefix` puts it.
file(RELATIVE_PATH VCDALBUM_PC_TO_PREFIX /prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /prefix)
configure_file(${PROJECT_SOURCE_DIR}/cmake/vcdalbum.pc.in ${CMAKE_BINARY_DIR}/vcdalbum.pc @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/vcdalbum.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
