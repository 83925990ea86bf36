# 64-bit Windows with Qt from scripts/build-qt-windows: what Wine runs on machines that do not
# execute 32-bit x86 programs.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
include("${CMAKE_CURRENT_LIST_DIR}/mingw-posix-qt.cmake")
