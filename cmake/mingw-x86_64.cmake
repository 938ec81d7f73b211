# The same build for 64-bit Windows, for machines that cannot run 32-bit programs (a kernel
# without 32-bit support): the Windows tests then run under 64-bit Wine. The product stays the
# 32-bit build.
set(ZELVANE_MINGW x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
