# The 32-bit Windows DLL as hosts load it, with its unit tests and a host
# program, run under Debian's 32-bit wine (/usr/lib/wine/wine). The DLL is
# built exactly as in the build-only mingw preset; only programs and test
# modules differ.
set(CMAKE_SYSTEM_PROCESSOR i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-cross.cmake)
# Programs and test modules carry their runtime (libgcc, libstdc++,
# winpthread), as the DLL does, so wine needs no DLL path. The DLL's own
# flags are left alone: it already links its runtime in.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run --32 ${CMAKE_BINARY_DIR}/wine-prefix)
