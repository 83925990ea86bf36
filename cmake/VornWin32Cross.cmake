# Cross-builds the Qt-free modules for Windows and runs their tests under Wine.
#
# What ships is 32-bit, so the i686 build (VornSelfUpdater.exe among it) is made on every
# machine. Its tests need a kernel that executes 32-bit x86 programs, which not every x86-64
# machine does; there the same modules and tests are built for x86-64 and run under the 64-bit
# loader. Both builds are made wherever both compilers exist, so code that only one of them
# rejects fails on every machine alike.
#
# VORN_WINE_ARCH chooses which build the tests run: auto (32-bit where this machine runs it),
# win32 or win64. The test names stay win32.<name> either way (the Win32 interface is the same);
# the label wine-win32 or wine-win64, the win32.prefix test and build/wine-run.conf tell which.
find_program(VORN_MINGW32_CXX i686-w64-mingw32-g++-posix)
find_program(VORN_MINGW64_CXX x86_64-w64-mingw32-g++-posix)
# Debian's wine wrapper takes the 32-bit loader whenever wine32 is installed, even where the
# kernel cannot run it, so the loaders are called directly.
find_program(VORN_WINE32_LOADER wine PATHS /usr/lib/wine NO_DEFAULT_PATH)
find_program(VORN_WINE64_LOADER wine64 PATHS /usr/lib/wine NO_DEFAULT_PATH)
# The wrapper serves a 32-bit prefix with whichever server is installed; a 64-bit prefix needs
# the 64-bit one.
find_program(VORN_WINE32_SERVER wineserver)
find_program(VORN_WINE64_SERVER wineserver64 PATHS /usr/lib/wine NO_DEFAULT_PATH)

# On by default even without the compilers: a machine that cannot build or run the Windows
# tests fails them with the reason instead of leaving them out.
option(VORN_WIN32_BUILD "Cross-build the Qt-free modules for Windows (32-bit, and 64-bit for the tests)" ON)
set(VORN_WINE_ARCH auto CACHE STRING "Which Windows build runs the tests under Wine: auto, win32 or win64")
set_property(CACHE VORN_WINE_ARCH PROPERTY STRINGS auto win32 win64)
if(NOT VORN_WINE_ARCH MATCHES "^(auto|win32|win64)$")
  message(FATAL_ERROR "VORN_WINE_ARCH must be auto, win32 or win64, not '${VORN_WINE_ARCH}'")
endif()

function(_vorn_cross_build arch toolchain)
  ExternalProject_Add(vorn_${arch}
    SOURCE_DIR "${PROJECT_SOURCE_DIR}"
    BINARY_DIR "${PROJECT_BINARY_DIR}/${arch}"
    CMAKE_GENERATOR Ninja
    CMAKE_ARGS -DVORN_QT_FREE_ONLY=ON
               -DCMAKE_TOOLCHAIN_FILE=${PROJECT_SOURCE_DIR}/cmake/${toolchain}
               -DCMAKE_BUILD_TYPE=Release
    BUILD_ALWAYS ON
    INSTALL_COMMAND ""
    USES_TERMINAL_BUILD ON)
endfunction()

set(VORN_WIN32_TESTS OFF)
set(VORN_WINE_LABEL "")
set(VORN_WINEPREFIX "${PROJECT_BINARY_DIR}/wineprefix")
set(_vorn_wine_conf "${PROJECT_BINARY_DIR}/wine-run.conf")
file(REMOVE "${_vorn_wine_conf}")

if(VORN_WIN32_BUILD)
  include(ExternalProject)
  if(VORN_MINGW32_CXX)
    _vorn_cross_build(win32 toolchain-mingw32.cmake)
  endif()
  if(VORN_MINGW64_CXX)
    _vorn_cross_build(win64 toolchain-mingw64.cmake)
  endif()

  include(VornWineChoice)
  vorn_choose_wine_side(_wine REQUEST "${VORN_WINE_ARCH}"
    MINGW32 "${VORN_MINGW32_CXX}" MINGW64 "${VORN_MINGW64_CXX}"
    LOADER32 "${VORN_WINE32_LOADER}" SERVER32 "${VORN_WINE32_SERVER}"
    LOADER64 "${VORN_WINE64_LOADER}" SERVER64 "${VORN_WINE64_SERVER}")
  if(_wine_ARCH)
    set(VORN_WIN32_TESTS ON)
    set(VORN_WIN32_BINARY_DIR "${PROJECT_BINARY_DIR}/${_wine_ARCH}")
    set(VORN_WINE_LABEL "wine-${_wine_ARCH}")
    if(_wine_ARCH STREQUAL "win64")
      # Its own prefix: a 32-bit one left from another run would not start here.
      set(VORN_WINEPREFIX "${PROJECT_BINARY_DIR}/wineprefix64")
    endif()
    message(STATUS "${_wine_NOTE}")
    file(WRITE "${_vorn_wine_conf}" "arch=${_wine_ARCH}\nloader=${_wine_LOADER}\n"
                                    "server=${_wine_SERVER}\nnote=${_wine_NOTE}\n")
  else()
    set(VORN_WINE_LABEL "wine-none")
    message(WARNING "${_wine_NOTE}")
    file(WRITE "${_vorn_wine_conf}" "arch=none\nnote=${_wine_NOTE}\n")
  endif()

  # Set up first, or the reason it cannot be: every Windows test needs the prefix.
  add_test(NAME win32.prefix COMMAND "${PROJECT_SOURCE_DIR}/scripts/wine-run" --init)
  set_tests_properties(win32.prefix PROPERTIES
    FIXTURES_SETUP wine_prefix TIMEOUT 600 LABELS "${VORN_WINE_LABEL}"
    ENVIRONMENT "VORN_WINEPREFIX=${VORN_WINEPREFIX}")
  if(VORN_WIN32_TESTS)
    add_test(NAME win32.prefix.stop COMMAND "${PROJECT_SOURCE_DIR}/scripts/wine-run" --stop)
    set_tests_properties(win32.prefix.stop PROPERTIES
      FIXTURES_CLEANUP wine_prefix TIMEOUT 60 LABELS "${VORN_WINE_LABEL}"
      ENVIRONMENT "VORN_WINEPREFIX=${VORN_WINEPREFIX}")
  endif()
else()
  message(STATUS "Windows cross-build and its tests off (VORN_WIN32_BUILD=OFF)")
endif()

add_test(NAME cmake.wine_choice
         COMMAND "${CMAKE_COMMAND}" -P "${PROJECT_SOURCE_DIR}/tests/cmake/test_wine_choice.cmake")
set_tests_properties(cmake.wine_choice PROPERTIES WORKING_DIRECTORY "${PROJECT_BINARY_DIR}")

# Windows files that need Qt cannot be linked here (no Qt for Windows), but must compile, for
# both word sizes.
if(VORN_MINGW32_CXX)
  get_target_property(_qt_core_inc Qt5::Core INTERFACE_INCLUDE_DIRECTORIES)
  get_target_property(_qt_gui_inc Qt5::Gui INTERFACE_INCLUDE_DIRECTORIES)
  get_target_property(_qt_widgets_inc Qt5::Widgets INTERFACE_INCLUDE_DIRECTORIES)
  get_target_property(_qt_network_inc Qt5::Network INTERFACE_INCLUDE_DIRECTORIES)
  set(_inc ${_qt_core_inc} ${_qt_gui_inc} ${_qt_widgets_inc} ${_qt_network_inc})
  list(REMOVE_DUPLICATES _inc)
  string(REPLACE ";" ":" _inc "${_inc}")
  set(_compilers "${VORN_MINGW32_CXX}")
  if(VORN_MINGW64_CXX)
    list(APPEND _compilers "${VORN_MINGW64_CXX}")
  endif()
  add_test(NAME win32.syntax
           COMMAND "${PROJECT_SOURCE_DIR}/scripts/check-win-syntax" "${_inc}" ${_compilers})
  set_tests_properties(win32.syntax PROPERTIES
    WORKING_DIRECTORY "${PROJECT_SOURCE_DIR}" TIMEOUT 600)
endif()
