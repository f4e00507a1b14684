# The shipped program: 32-bit Windows (Windows 9x to today).
set(CMAKE_SYSTEM_PROCESSOR i686)
set(NAPKIT_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
