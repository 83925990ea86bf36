# The part both Windows toolchain files share: Debian's mingw-w64 for CMAKE_SYSTEM_PROCESSOR,
# posix thread model (so std::thread and std::mutex work).
set(CMAKE_SYSTEM_NAME Windows)
set(_vorn_triplet ${CMAKE_SYSTEM_PROCESSOR}-w64-mingw32)
set(CMAKE_C_COMPILER ${_vorn_triplet}-gcc-posix)
set(CMAKE_CXX_COMPILER ${_vorn_triplet}-g++-posix)
set(CMAKE_RC_COMPILER ${_vorn_triplet}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${_vorn_triplet})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# No runtime DLLs to ship beside the programs, and none for Wine to find.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
