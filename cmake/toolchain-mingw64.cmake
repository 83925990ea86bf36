# 64-bit Windows. Not shipped: it builds the test programs for machines whose kernel cannot
# execute 32-bit x86 programs.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
include("${CMAKE_CURRENT_LIST_DIR}/mingw-posix-common.cmake")
