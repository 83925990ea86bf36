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

# Starts LOADER --version: the real question is whether this machine runs that program, which
# the package list cannot answer. Sets <prefix>_OK and <prefix>_WHY (one line).
function(_vorn_probe_wine prefix loader what package)
  set(ok FALSE)
  if(NOT loader)
    set(why "the ${what} Wine loader is not installed (package ${package})")
  else()
    # Through bash: a program the kernel refuses then reports "Exec format error" instead of
    # being retried as a shell script.
    execute_process(COMMAND bash -c "exec \"$0\" --version" "${loader}"
                    RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err TIMEOUT 60)
    string(STRIP "${out}" out)
    string(REGEX REPLACE "\n.*" "" err "${err}")
    string(REGEX REPLACE "^.*: line [0-9]+: " "" err "${err}")
    if(rc STREQUAL "0" AND out MATCHES "^wine")
      set(ok TRUE)
      set(why "${loader} runs (${out})")
    elseif(err MATCHES "Exec format error")
      set(why "this machine does not execute ${what} x86 programs (${err})")
    else()
      set(why "${loader} --version does not run here (exit ${rc}: ${err})")
    endif()
  endif()
  set(${prefix}_OK ${ok} PARENT_SCOPE)
  set(${prefix}_WHY "${why}" PARENT_SCOPE)
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

  _vorn_probe_wine(_w32 "${VORN_WINE32_LOADER}" 32-bit wine32:i386)
  _vorn_probe_wine(_w64 "${VORN_WINE64_LOADER}" 64-bit wine64)
  if(_w32_OK AND NOT VORN_WINE32_SERVER)
    set(_w32_OK FALSE)
    set(_w32_WHY "wineserver is not installed (package wine)")
  endif()
  if(_w64_OK AND NOT VORN_WINE64_SERVER)
    set(_w64_OK FALSE)
    set(_w64_WHY "wineserver64 is not installed (package wine64)")
  endif()
  if(NOT VORN_MINGW32_CXX)
    set(_w32_OK FALSE)
    set(_w32_WHY "i686-w64-mingw32-g++-posix is not installed (package g++-mingw-w64-i686-posix)")
  endif()
  if(NOT VORN_MINGW64_CXX)
    set(_w64_OK FALSE)
    set(_w64_WHY "x86_64-w64-mingw32-g++-posix is not installed (package g++-mingw-w64-x86-64-posix)")
  endif()

  set(_arch "")
  if(NOT VORN_MINGW32_CXX)
    set(_why "i686-w64-mingw32-g++-posix is not installed (package g++-mingw-w64-i686-posix), so the shipped 32-bit programs cannot be built")
  elseif(VORN_WINE_ARCH STREQUAL "win32")
    set(_why "VORN_WINE_ARCH=win32 forces it; ${_w32_WHY}")
    if(_w32_OK)
      set(_arch win32)
    endif()
  elseif(VORN_WINE_ARCH STREQUAL "win64")
    set(_why "VORN_WINE_ARCH=win64 forces it; ${_w64_WHY}")
    if(_w64_OK)
      set(_arch win64)
    endif()
  elseif(_w32_OK)
    set(_arch win32)
    set(_why "as shipped: ${_w32_WHY}")
  elseif(_w64_OK)
    set(_arch win64)
    set(_why "${_w32_WHY}")
  else()
    set(_why "32-bit: ${_w32_WHY}; 64-bit: ${_w64_WHY}")
  endif()

  if(_arch STREQUAL "win32")
    set(_loader "${VORN_WINE32_LOADER}")
    set(_server "${VORN_WINE32_SERVER}")
    set(_note "Windows tests run as 32-bit programs (build/win32) under ${_loader}: ${_why}")
  elseif(_arch STREQUAL "win64")
    set(_loader "${VORN_WINE64_LOADER}")
    set(_server "${VORN_WINE64_SERVER}")
    set(VORN_WINEPREFIX "${PROJECT_BINARY_DIR}/wineprefix64")
    set(_note "Windows tests run as 64-bit programs (build/win64) under ${_loader}: ${_why}")
  else()
    set(VORN_WINE_LABEL "wine-none")
    set(_note "Windows tests cannot run: ${_why}.")
    if(_why MATCHES "not installed")
      string(APPEND _note " scripts/install-deps installs what they need.")
    endif()
    if(VORN_WINE_ARCH STREQUAL "win32" AND _w64_OK)
      string(APPEND _note " VORN_WINE_ARCH=auto or win64 runs them as 64-bit programs here.")
    endif()
  endif()

  if(_arch)
    set(VORN_WIN32_TESTS ON)
    set(VORN_WIN32_BINARY_DIR "${PROJECT_BINARY_DIR}/${_arch}")
    set(VORN_WINE_LABEL "wine-${_arch}")
    message(STATUS "${_note}")
    file(WRITE "${_vorn_wine_conf}" "arch=${_arch}\nloader=${_loader}\nserver=${_server}\nnote=${_note}\n")
  else()
    message(WARNING "${_note}")
    file(WRITE "${_vorn_wine_conf}" "arch=none\nnote=${_note}\n")
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
