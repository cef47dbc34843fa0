# Cross-builds for x86_64 Windows with MinGW-w64.
set(MINGW_ARCH x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
