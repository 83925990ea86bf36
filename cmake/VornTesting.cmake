# Test helpers shared by the native build and the Windows cross-build.
#
#   vorn_add_doctest(name SOURCES ... [LIBS ...])   Qt-free test; natively it also registers
#                                                   win32.<name>, the cross-built .exe under Wine.
#   vorn_add_qttest(name SOURCES ... [LIBS ...])    QtTest test, offscreen platform; in the
#                                                   Windows build, under Wine.
#   vorn_add_wine_test(name PROGRAM exe [ARGS ...] [LAUNCHER ...] [FIXTURES ...] [ENVIRONMENT ...])
#                                                   win32.<name>: the Windows build's exe of
#                                                   this folder under Wine (LAUNCHER wraps it).

if(NOT TARGET vorn_doctest_main)
  find_path(VORN_DOCTEST_DIR doctest/doctest.h PATHS /usr/include NO_CMAKE_FIND_ROOT_PATH REQUIRED)
  # Copied so the cross compiler sees doctest without the whole native /usr/include.
  configure_file("${VORN_DOCTEST_DIR}/doctest/doctest.h"
                 "${PROJECT_BINARY_DIR}/doctest-include/doctest/doctest.h" COPYONLY)
  add_library(vorn_doctest_main STATIC "${PROJECT_SOURCE_DIR}/tests/support/doctest_main.cpp")
  target_include_directories(vorn_doctest_main PUBLIC "${PROJECT_BINARY_DIR}/doctest-include"
                                                      "${PROJECT_SOURCE_DIR}")
endif()

function(vorn_add_doctest name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  set_target_properties(${name} PROPERTIES AUTOMOC OFF AUTORCC OFF)
  target_link_libraries(${name} PRIVATE vorn_doctest_main ${ARG_LIBS})
  if(CMAKE_CROSSCOMPILING)
    return()
  endif()
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES TIMEOUT 300)
  vorn_add_wine_test(${name} PROGRAM ${name})
endfunction()

function(vorn_add_wine_test name)
  if(NOT VORN_WIN32_TESTS)
    return()
  endif()
  cmake_parse_arguments(ARG "" "PROGRAM" "ARGS;LAUNCHER;FIXTURES;ENVIRONMENT" ${ARGN})
  file(RELATIVE_PATH rel "${PROJECT_BINARY_DIR}" "${CMAKE_CURRENT_BINARY_DIR}")
  add_test(NAME win32.${name}
           COMMAND ${ARG_LAUNCHER} "${PROJECT_SOURCE_DIR}/scripts/wine-run"
                   "${VORN_WIN32_BINARY_DIR}/${rel}/${ARG_PROGRAM}.exe" ${ARG_ARGS})
  set(fixtures wine_prefix ${ARG_FIXTURES})
  set(environment "VORN_WINEPREFIX=${VORN_WINEPREFIX}" ${ARG_ENVIRONMENT})
  set_tests_properties(win32.${name} PROPERTIES
    FIXTURES_REQUIRED "${fixtures}" TIMEOUT 600 LABELS "${VORN_WINE_LABEL}"
    ENVIRONMENT "${environment}")
endfunction()

function(vorn_add_qttest name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE Qt5::Test ${ARG_LIBS})
  target_include_directories(${name} PRIVATE "${PROJECT_SOURCE_DIR}")
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES TIMEOUT 300
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;QT_LOGGING_RULES=qt.qpa.*=false")
  if(CMAKE_CROSSCOMPILING AND VORN_WINEPREFIX)
    # The Windows build: the test starts under Wine (the target's emulator) in the build's prefix.
    set_tests_properties(${name} PROPERTIES TIMEOUT 600 FIXTURES_REQUIRED wine_prefix
      LABELS "${VORN_WINE_LABEL}"
      ENVIRONMENT "QT_LOGGING_RULES=qt.qpa.*=false;VORN_WINEPREFIX=${VORN_WINEPREFIX}")
  endif()
endfunction()

# The catalogues beside an executable, where the program looks for them.
function(vorn_copy_locales target)
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_COMMAND} -E copy_directory "${PROJECT_SOURCE_DIR}/locales"
            "$<TARGET_FILE_DIR:${target}>/locales"
    VERBATIM)
endfunction()
