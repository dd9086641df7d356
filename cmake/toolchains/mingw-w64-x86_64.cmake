# Cross-compiles for 64-bit Windows with Debian's MinGW-w64 "posix" compilers (std::thread works).
# Libraries cross-built for the target (GoogleTest, and links to the header-only CLI11 and nlohmann-json)
# live in LUT_CROSS_PREFIX, outside the source tree; tools/windows-deps.sh fills it.
set(LUT_TARGET_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
