# Cross-compiles 32-bit Windows code with MinGW-w64 on Linux (Debian: g++-mingw-w64-i686-posix):
# the 32-bit custom-action DLL of the MSI kit.
set(CMAKE_SYSTEM_PROCESSOR x86)
set(_mingw i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-toolchain-common.cmake)
