# What both MinGW-w64 toolchain files share: Debian's cross compilers with
# posix threads for CMAKE_SYSTEM_PROCESSOR (i686 or x86_64), and the
# libraries and headers of that target only.
set(CMAKE_SYSTEM_NAME Windows)
set(_vcdalbum_mingw ${CMAKE_SYSTEM_PROCESSOR}-w64-mingw32)
set(CMAKE_C_COMPILER ${_vcdalbum_mingw}-gcc-posix)
set(CMAKE_CXX_COMPILER ${_vcdalbum_mingw}-g++-posix)
set(CMAKE_RC_COMPILER ${_vcdalbum_mingw}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${_vcdalbum_mingw})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
