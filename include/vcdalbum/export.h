// Symbol visibility for the two exported classes and the public C++ API.
#pragma once

#if defined(_WIN32)
#  if defined(VCDALBUM_BUILDING_DLL)
#    define VCDALBUM_API __declspec(dllexport)
#  elif defined(VCDALBUM_STATIC)
#    define VCDALBUM_API
#  else
#    define VCDALBUM_API __declspec(dllimport)
#  endif
#else
#  define VCDALBUM_API __attribute__((visibility("default")))
#endif
