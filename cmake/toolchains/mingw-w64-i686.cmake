# Cross-compiles for 32-bit Windows with Debian's MinGW-w64 "posix" compilers (std::thread works).
# Libraries cross-built for the target live in LUT_CROSS_PREFIX, outside the source tree;
# tools/windows-deps.sh fills it.
set(LUT_TARGET_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
