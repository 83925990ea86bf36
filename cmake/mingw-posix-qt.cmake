# The toolchain of the whole Windows launcher: the compilers Qt for Windows was built with, and
# that Qt found first. Qt's DLLs need the shared C++ runtime, and two runtimes in one process
# would each keep their own heap and exception state, so nothing here links it statically.
include("${CMAKE_CURRENT_LIST_DIR}/mingw-posix-common.cmake")
set(CMAKE_EXE_LINKER_FLAGS_INIT "")

if(NOT VORN_QT_WINDOWS_PREFIX)
  if(DEFINED ENV{VORN_QT_WINDOWS_PREFIX})
    set(VORN_QT_WINDOWS_PREFIX "$ENV{VORN_QT_WINDOWS_PREFIX}")
  else()
    set(_vorn_qt_cache "$ENV{VORN_QT_WINDOWS_CACHE}")
    if(NOT _vorn_qt_cache)
      set(_vorn_qt_cache "$ENV{HOME}/.cache/vorn-qt-windows")
    endif()
    set(VORN_QT_WINDOWS_PREFIX "${_vorn_qt_cache}/5.15.8-${CMAKE_SYSTEM_PROCESSOR}")
  endif()
endif()
list(APPEND CMAKE_FIND_ROOT_PATH "${VORN_QT_WINDOWS_PREFIX}")
# try_compile projects see the same Qt.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES VORN_QT_WINDOWS_PREFIX)
