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
# i686: no hot/cold splitting, for every target. With -freorder-blocks-and-partition (on at -O2
# as at -O3) GCC 12 can give a function an empty cold part and still emit an unwind record (FDE)
# of zero length, at the address where another function's cold part starts. i686 MinGW unwinds
# with DWARF-2 records and no prebuilt lookup table: libgcc sorts them at run time, and its
# binary search can land on the empty record and miss the real one; _Unwind_Resume then aborts
# and the process ends silently (exit code 3). Whether it happens depends on the layout, so
# tools/check-image fails on any such record. x86_64 unwinds with SEH and is not affected.
if(ZELVANE_MINGW MATCHES "^i686-")
  set(CMAKE_C_FLAGS_INIT "-fno-reorder-blocks-and-partition")
  set(CMAKE_CXX_FLAGS_INIT "-fno-reorder-blocks-and-partition")
endif()
# Release at -O2, not CMake's -O3, by measure: the benchmarks (bench/run-benchmarks) show no
# gain from -O3 beyond their run-to-run noise (upgrade / read ratios 0.95-1.05 at either level
# for a realistic profile; an upgrade run 1.10-1.26x its floor natively and 1.34-2.09x under Wine
# at either), while -O3 makes the 32-bit Zelvane.exe about 10% larger (525,824 bytes against
# 476,672) and meets GCC 12's false -Wrestrict in std::string (GCC PR 105329). Set in the cache
# before the compiler is found, since CMake adds its -O3 to the _INIT flags.
set(CMAKE_C_FLAGS_RELEASE "-O2 -DNDEBUG" CACHE STRING "Release flags: -O2, see cmake/mingw.cmake")
set(CMAKE_CXX_FLAGS_RELEASE "-O2 -DNDEBUG" CACHE STRING "Release flags: -O2, see cmake/mingw.cmake")
