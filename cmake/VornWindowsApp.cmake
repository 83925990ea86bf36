# The whole Windows launcher, configured with a toolchain-mingw*-qt.cmake file and Qt for
# Windows from scripts/build-qt-windows (scripts/build-windows does both):
#   VornLauncher.exe, VornSelfUpdater.exe, vorn-update.exe, the Qt tests of the update core and
#   the stand-in game client of the end-to-end test.
# The tests run under Wine through scripts/wine-run in a prefix inside this build folder;
# VORN_NATIVE_BUILD_DIR (a native build of this tree) adds the end-to-end test, which needs
# the Linux vorn-publish to make its releases.
find_package(Qt5 5.15 REQUIRED COMPONENTS Core Gui Widgets Concurrent Network Test)

set(VORN_NATIVE_BUILD_DIR "" CACHE PATH "A native build of this tree, for the end-to-end test's tools")

# Every test program starts under Wine; ctest puts the emulator before each target it runs.
set(CMAKE_CROSSCOMPILING_EMULATOR "${PROJECT_SOURCE_DIR}/scripts/wine-run")
set(VORN_WINEPREFIX "${PROJECT_BINARY_DIR}/wineprefix")

if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(_wine_arch win64)
  find_program(VORN_WINE_LOADER wine64 PATHS /usr/lib/wine NO_DEFAULT_PATH)
  find_program(VORN_WINE_SERVER wineserver64 PATHS /usr/lib/wine NO_DEFAULT_PATH)
  set(_wine_what 64-bit)
  set(_wine_package wine64)
else()
  set(_wine_arch win32)
  find_program(VORN_WINE_LOADER wine PATHS /usr/lib/wine NO_DEFAULT_PATH)
  find_program(VORN_WINE_SERVER wineserver)
  set(_wine_what 32-bit)
  set(_wine_package wine32:i386)
endif()
include(VornWineChoice)
_vorn_probe_wine(_wine "${VORN_WINE_LOADER}" ${_wine_what} ${_wine_package})
if(_wine_OK AND NOT VORN_WINE_SERVER)
  set(_wine_OK FALSE)
  set(_wine_WHY "its wineserver is not installed (package ${_wine_package})")
endif()

# Where the tests' programs find Qt's DLLs and the C++ runtime without copies of them.
get_filename_component(VORN_QT_BIN_DIR "${Qt5_DIR}/../../../bin" ABSOLUTE)
set(VORN_MINGW_RUNTIME_DIRS
    "/usr/lib/gcc/${CMAKE_SYSTEM_PROCESSOR}-w64-mingw32/12-posix"
    "/usr/${CMAKE_SYSTEM_PROCESSOR}-w64-mingw32/lib"
    "/usr/${CMAKE_SYSTEM_PROCESSOR}-w64-mingw32/bin")
set(_dll_path "${VORN_QT_BIN_DIR}" ${VORN_MINGW_RUNTIME_DIRS})
string(REPLACE ";" ":" _dll_path "${_dll_path}")
if(_wine_OK)
  set(VORN_WINE_LABEL "wine-${_wine_arch}")
  file(WRITE "${PROJECT_BINARY_DIR}/wine-run.conf"
       "arch=${_wine_arch}\nloader=${VORN_WINE_LOADER}\nserver=${VORN_WINE_SERVER}\n"
       "dllpath=${_dll_path}\nnote=Windows tests run as ${_wine_what} programs: ${_wine_WHY}\n")
else()
  set(VORN_WINE_LABEL "wine-none")
  message(WARNING "The Windows tests of this build cannot run here: ${_wine_WHY}")
  file(WRITE "${PROJECT_BINARY_DIR}/wine-run.conf"
       "arch=none\nnote=the ${_wine_what} Windows tests cannot run here: ${_wine_WHY}\n")
endif()

add_test(NAME wine.prefix COMMAND "${PROJECT_SOURCE_DIR}/scripts/wine-run" --init)
add_test(NAME wine.prefix.stop COMMAND "${PROJECT_SOURCE_DIR}/scripts/wine-run" --stop)
set_tests_properties(wine.prefix PROPERTIES FIXTURES_SETUP wine_prefix)
set_tests_properties(wine.prefix.stop PROPERTIES FIXTURES_CLEANUP wine_prefix TIMEOUT 60)
set_tests_properties(wine.prefix wine.prefix.stop PROPERTIES
  LABELS "${VORN_WINE_LABEL}" ENVIRONMENT "VORN_WINEPREFIX=${VORN_WINEPREFIX}")

foreach(dir platform selfupdater core config net engine release ui assets launcher tools/vorn-update)
  add_subdirectory("${PROJECT_SOURCE_DIR}/${dir}" "${PROJECT_BINARY_DIR}/${dir}")
endforeach()
add_subdirectory("${PROJECT_SOURCE_DIR}/tests/core" "${PROJECT_BINARY_DIR}/tests/core")
add_subdirectory("${PROJECT_SOURCE_DIR}/tests/e2e/wine" "${PROJECT_BINARY_DIR}/tests/e2e/wine")
