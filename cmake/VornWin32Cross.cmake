# Cross-builds the Qt-free modules for 32-bit Windows and runs their tests under Wine.
find_program(VORN_MINGW32_CXX i686-w64-mingw32-g++-posix)
find_program(VORN_WINE wine)

set(_vorn_win32_default OFF)
if(VORN_MINGW32_CXX)
  set(_vorn_win32_default ON)
endif()
option(VORN_WIN32_BUILD "Cross-build the Qt-free modules for 32-bit Windows" ${_vorn_win32_default})

set(VORN_WIN32_TESTS OFF)
if(VORN_WIN32_BUILD)
  include(ExternalProject)
  set(VORN_WIN32_BINARY_DIR "${PROJECT_BINARY_DIR}/win32")
  ExternalProject_Add(vorn_win32
    SOURCE_DIR "${PROJECT_SOURCE_DIR}"
    BINARY_DIR "${VORN_WIN32_BINARY_DIR}"
    CMAKE_GENERATOR Ninja
    CMAKE_ARGS -DVORN_QT_FREE_ONLY=ON
               -DCMAKE_TOOLCHAIN_FILE=${PROJECT_SOURCE_DIR}/cmake/toolchain-mingw32.cmake
               -DCMAKE_BUILD_TYPE=Release
    BUILD_ALWAYS ON
    INSTALL_COMMAND ""
    USES_TERMINAL_BUILD ON)

  if(VORN_WINE)
    set(VORN_WIN32_TESTS ON)
    set(VORN_WINEPREFIX "${PROJECT_BINARY_DIR}/wineprefix")
    add_test(NAME win32.prefix COMMAND "${PROJECT_SOURCE_DIR}/scripts/wine-run" --init)
    set_tests_properties(win32.prefix PROPERTIES
      FIXTURES_SETUP wine_prefix TIMEOUT 600
      ENVIRONMENT "VORN_WINEPREFIX=${VORN_WINEPREFIX}")
    add_test(NAME win32.prefix.stop COMMAND "${PROJECT_SOURCE_DIR}/scripts/wine-run" --stop)
    set_tests_properties(win32.prefix.stop PROPERTIES
      FIXTURES_CLEANUP wine_prefix TIMEOUT 60
      ENVIRONMENT "VORN_WINEPREFIX=${VORN_WINEPREFIX}")
  endif()
endif()

# Windows files that need Qt cannot be linked here (no Qt for Windows), but must compile.
if(VORN_MINGW32_CXX)
  get_target_property(_qt_core_inc Qt5::Core INTERFACE_INCLUDE_DIRECTORIES)
  get_target_property(_qt_gui_inc Qt5::Gui INTERFACE_INCLUDE_DIRECTORIES)
  get_target_property(_qt_widgets_inc Qt5::Widgets INTERFACE_INCLUDE_DIRECTORIES)
  get_target_property(_qt_network_inc Qt5::Network INTERFACE_INCLUDE_DIRECTORIES)
  set(_inc ${_qt_core_inc} ${_qt_gui_inc} ${_qt_widgets_inc} ${_qt_network_inc})
  list(REMOVE_DUPLICATES _inc)
  string(REPLACE ";" ":" _inc "${_inc}")
  add_test(NAME win32.syntax
           COMMAND "${PROJECT_SOURCE_DIR}/scripts/check-win-syntax" "${VORN_MINGW32_CXX}" "${_inc}")
  set_tests_properties(win32.syntax PROPERTIES
    WORKING_DIRECTORY "${PROJECT_SOURCE_DIR}" TIMEOUT 600)
endif()
