# Cross build of the 32-bit Windows executable, the product, with MinGW-w64.
set(ZELVANE_MINGW i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
