# Cross-compiles for Windows with MinGW-w64 for MINGW_ARCH (i686 or x86_64),
# set by the toolchain file that includes this one; the tests run under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${MINGW_ARCH})
set(CMAKE_C_COMPILER ${MINGW_ARCH}-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER ${MINGW_ARCH}-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER ${MINGW_ARCH}-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${MINGW_ARCH}-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Static, so that Wine (or Windows) needs no MinGW DLLs.
# No link timestamp, so that a commit always builds the same bytes.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -s -Wl,--gc-sections -Wl,--no-insert-timestamp")
set(CMAKE_CXX_FLAGS_INIT "-ffunction-sections")
# The i386 unwind tables serve C++ exceptions alone, which the program does
# not use (code built with exceptions, the tests', keeps its own tables).
if(MINGW_ARCH STREQUAL i686)
  string(APPEND CMAKE_CXX_FLAGS_INIT " -fno-asynchronous-unwind-tables")
endif()
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run --${MINGW_ARCH})
