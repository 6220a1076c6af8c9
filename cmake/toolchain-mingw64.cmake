# Cross-compiles the Windows build with MinGW-w64 on Linux (Debian: g++-mingw-w64-x86-64).
# The -posix variants carry std::thread and std::mutex, which GoogleTest needs.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(_mingw x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-toolchain-common.cmake)
