# The same sources for 64-bit Windows: what hosts that run 64-bit code only
# can test, under 64-bit Wine.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(NAPKIT_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
