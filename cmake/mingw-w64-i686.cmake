# 32-bit Windows with Debian's mingw-w64. These machines cannot execute i386 code: built and
# inspected only.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(MINGW_TRIPLET i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
