# The library and its unit tests as 64-bit Windows programs, run under
# Debian's wine64, so that the Windows code paths (module loading, message
# box, temporary directory, paths with drive letters) are exercised here.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-cross.cmake)
# Programs and test modules carry their runtime (libgcc, libstdc++,
# winpthread), as the 32-bit DLL does, so wine needs no DLL path.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")
# Every test program runs through a wrapper that gives wine a throwaway
# prefix inside the build tree and keeps its debug chatter quiet.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run ${CMAKE_BINARY_DIR}/wine-prefix)
