# Run as a script: cmake -DBINARY_DIR=... -DSOURCE_DIR=... -DWORK_DIR=... -DCXX=... -P this file.
file(REMOVE_RECURSE ${WORK_DIR})
set(prefix ${WORK_DIR}/prefix)

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    string(REPLACE ";" " " cmd "${ARGN}")
    message(FATAL_ERROR "failed (${rc}): ${cmd}\n${out}\n${err}")
  endif()
endfunction()

run(${CMAKE_COMMAND} --install ${BINARY_DIR} --prefix ${prefix})

foreach(f include/vcdalbum/Authoring.h include/vcdalbum/VRX_Burner.h include/vcdalbum/codec.h bin/vcdalbum)
  if(NOT EXISTS ${prefix}/${f})
    message(FATAL_ERROR "not installed: ${f}")
  endif()
endforeach()
file(GLOB_RECURSE configs ${prefix}/*/vcdalbumConfig.cmake)
file(GLOB_RECURSE pcs ${prefix}/*/vcdalbum.pc)
if(NOT configs OR NOT pcs)
  message(FATAL_ERROR "CMake package or pkg-config file not installed")
endif()

# The example is the first C++ block after the "A host program" heading.
file(READ ${SOURCE_DIR}/README.md readme)
string(FIND "${readme}" "## A host program" at)
if(at EQUAL -1)
  message(FATAL_ERROR "README has no \"A host program\" section")
endif()
string(SUBSTRING "${readme}" ${at} -1 section)
string(FIND "${section}" "```cpp\n" begin)
math(EXPR begin "${begin} + 7")
string(SUBSTRING "${section}" ${begin} -1 section)
string(FIND "${section}" "```" end)
string(SUBSTRING "${section}" 0 ${end} example)
file(WRITE ${WORK_DIR}/host/host.cpp "${example}")

# 1. CMake package.
file(WRITE ${WORK_DIR}/host/CMakeLists.txt "cmake_minimum_required(VERSION 3.25)
project(host CXX)
find_package(vcdalbum 0.1 REQUIRED)
add_executable(host host.cpp)
target_link_libraries(host PRIVATE vcdalbum::vcdalbum)
")
run(${CMAKE_COMMAND} -S ${WORK_DIR}/host -B ${WORK_DIR}/host-build -DCMAKE_PREFIX_PATH=${prefix}
    -DCMAKE_CXX_COMPILER=${CXX})
run(${CMAKE_COMMAND} --build ${WORK_DIR}/host-build)

# 2. pkg-config.
file(GLOB_RECURSE pc ${prefix}/*/vcdalbum.pc)
get_filename_component(pcdir ${pc} DIRECTORY)
set(ENV{PKG_CONFIG_PATH} ${pcdir})
execute_process(COMMAND pkg-config --cflags --libs vcdalbum RESULT_VARIABLE rc OUTPUT_VARIABLE flags
                OUTPUT_STRIP_TRAILING_WHITESPACE)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "pkg-config does not know vcdalbum")
endif()
separate_arguments(flags UNIX_COMMAND "${flags}")
run(${CXX} ${WORK_DIR}/host/host.cpp -o ${WORK_DIR}/host-pc ${flags})

# The installed tool finds its library without help.
run(${prefix}/bin/vcdalbum --version)
message(STATUS "host example built both ways against ${prefix}")
