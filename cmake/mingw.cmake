# Cross build for Windows with MinGW-w64; ZELVANE_MINGW names the target (i686-w64-mingw32 for
# the 32-bit product, x86_64-w64-mingw32 for the 64-bit build of the same code).
set(CMAKE_SYSTEM_NAME Windows)
string(REGEX REPLACE "-.*" "" CMAKE_SYSTEM_PROCESSOR "${ZELVANE_MINGW}")
set(CMAKE_C_COMPILER ${ZELVANE_MINGW}-gcc-posix)  # the posix thread model: GoogleTest needs std::mutex
set(CMAKE_CXX_COMPILER ${ZELVANE_MINGW}-g++-posix)
set(CMAKE_RC_COMPILER ${ZELVANE_MINGW}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${ZELVANE_MINGW})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Tests of the Windows build run under Wine, in a prefix of the build's own.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run)
# Release at -O2, not CMake's -O3: GCC 12's i686 MinGW at -O3 miscompiles the unwinding of an
# exception thrown through an inlined std::function call (the process aborts). Set in the cache
# before the compiler is found, since CMake adds its -O3 to the _INIT flags.
set(CMAKE_C_FLAGS_RELEASE "-O2 -DNDEBUG" CACHE STRING "Release flags: -O2, see cmake/mingw.cmake")
set(CMAKE_CXX_FLAGS_RELEASE "-O2 -DNDEBUG" CACHE STRING "Release flags: -O2, see cmake/mingw.cmake")
