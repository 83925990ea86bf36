# 32-bit Windows with Qt from scripts/build-qt-windows: the launcher as players get it.
set(CMAKE_SYSTEM_PROCESSOR i686)
include("${CMAKE_CURRENT_LIST_DIR}/mingw-posix-qt.cmake")
