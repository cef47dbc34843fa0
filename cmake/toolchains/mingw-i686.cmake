# Cross-builds for i686 Windows with MinGW-w64.
set(MINGW_ARCH i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
