# The same sources for 64-bit Windows, for running the tests where Wine's
# 32-bit side runs only under emulation (tools/test); it never ships.
set(MINGW_ARCH x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-i686.cmake)
