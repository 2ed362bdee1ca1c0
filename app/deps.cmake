# `vcdalbum inspect` reads disc images back through libvcdinfo.
find_package(PkgConfig REQUIRED)
pkg_check_modules(VCDALBUM_CLI_VCDINFO REQUIRED IMPORTED_TARGET libvcdinfo)
target_link_libraries(vcdalbum_cli PRIVATE PkgConfig::VCDALBUM_CLI_VCDINFO)

# `vcdalbum preview` writes a page whose HTML, style and script are kept as
# ordinary files in preview_page/ and compiled into the tool.
set(preview_page_dir ${CMAKE_CURRENT_SOURCE_DIR}/preview_page)
set(preview_page_inc ${CMAKE_CURRENT_BINARY_DIR}/generated/preview_page.inc)
add_custom_command(OUTPUT ${preview_page_inc}
  COMMAND ${CMAKE_COMMAND} -DDIR=${preview_page_dir} -DOUT=${preview_page_inc} -P ${preview_page_dir}/embed.cmake
  DEPENDS ${preview_page_dir}/embed.cmake ${preview_page_dir}/index.html ${preview_page_dir}/style.css
          ${preview_page_dir}/player.js
  COMMENT "Embedding the preview page")
target_sources(vcdalbum_cli PRIVATE ${preview_page_inc})
target_include_directories(vcdalbum_cli PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/generated)
