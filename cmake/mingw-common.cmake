# Cross toolchain shared by both builds: Debian's MinGW-w64 compilers for
# NAPKIT_TRIPLE, set by the file that includes this one (mingw-i686.cmake for
# the shipped 32-bit program, mingw-x86_64.cmake for the x86-64 build that
# hosts without 32-bit code test). tools/arch.sh chooses between them.
# The posix-thread variant is used throughout: GoogleTest's headers need
# std::mutex, which the win32-thread libstdc++ lacks. Everything links
# statically, so no thread DLL is imported.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER   ${NAPKIT_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${NAPKIT_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER  ${NAPKIT_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${NAPKIT_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# ctest runs the test programs under Wine, inside the session that
# tools/session.sh starts for this build.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../tools/wine-run.sh)
