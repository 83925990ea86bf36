# Which Windows build runs the tests, chosen from stand-in loaders that start, that the kernel
# refuses, or that are missing. cmake -P, run in a scratch folder.
include("${CMAKE_CURRENT_LIST_DIR}/../../cmake/VornWineChoice.cmake")

set(dir "${CMAKE_CURRENT_BINARY_DIR}/wine-choice")
file(REMOVE_RECURSE "${dir}")
file(MAKE_DIRECTORY "${dir}")
file(WRITE "${dir}/runs" "#!/bin/sh\necho 'wine-8.0 (stand-in)'\n")
# An ELF header for no machine at all: refused by every kernel, as 32-bit programs are by some.
execute_process(COMMAND printf "\\177ELF\\001\\001\\001\\000\\000\\000\\000" OUTPUT_FILE "${dir}/refused")
file(CHMOD "${dir}/runs" "${dir}/refused" PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE)
set(runs "${dir}/runs")
set(refused "${dir}/refused")

# expect(<what> <request> <mingw32> <mingw64> <loader32> <loader64> <arch> <note regex>)
function(expect what request mingw32 mingw64 loader32 loader64 arch pattern)
  vorn_choose_wine_side(got REQUEST "${request}" MINGW32 "${mingw32}" MINGW64 "${mingw64}"
    LOADER32 "${loader32}" SERVER32 server32 LOADER64 "${loader64}" SERVER64 server64)
  if(NOT got_ARCH STREQUAL arch OR NOT got_NOTE MATCHES "${pattern}")
    message(SEND_ERROR "${what}: got '${got_ARCH}' (${got_NOTE}), want '${arch}' (${pattern})")
  else()
    message(STATUS "ok   ${what}: ${got_NOTE}")
  endif()
endfunction()

expect("both run: the shipped side" auto cxx32 cxx64 "${runs}" "${runs}"
       win32 "32-bit programs .* as shipped")
expect("32-bit refused: the 64-bit side" auto cxx32 cxx64 "${refused}" "${runs}"
       win64 "64-bit programs .*does not execute 32-bit x86 programs .*Exec format error")
expect("64-bit forced" win64 cxx32 cxx64 "${runs}" "${runs}"
       win64 "VORN_WINE_ARCH=win64 forces it")
expect("32-bit forced where refused: fails, no fallback" win32 cxx32 cxx64 "${refused}" "${runs}"
       "" "cannot run: VORN_WINE_ARCH=win32 forces it.*auto or win64 runs them")
expect("no Wine at all: fails naming both" auto cxx32 cxx64 "" ""
       "" "cannot run: .*wine32:i386.*wine64.*install-deps")
expect("no 64-bit compiler where 32-bit is refused" auto cxx32 "" "${refused}" "${runs}"
       "" "cannot run: .*g\\+\\+-mingw-w64-x86-64-posix")
expect("no 32-bit compiler: the shipped programs cannot be built" auto "" cxx64 "${runs}" "${runs}"
       "" "cannot run: .*g\\+\\+-mingw-w64-i686-posix")

# The runner follows what configure wrote beside the prefix.
set(runner "${CMAKE_CURRENT_LIST_DIR}/../../scripts/wine-run")
file(WRITE "${dir}/loader" "#!/bin/sh\necho \"$WINEARCH $WINELOADER $WINEPREFIX $*\"\nexit 7\n")
file(CHMOD "${dir}/loader" PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE)
file(WRITE "${dir}/wine-run.conf" "arch=win64\nloader=${dir}/loader\nserver=server64\nnote=n\n")
execute_process(COMMAND env "VORN_WINEPREFIX=${dir}/prefix" "${runner}" test.exe --flag
                RESULT_VARIABLE rc OUTPUT_VARIABLE out OUTPUT_STRIP_TRAILING_WHITESPACE)
if(NOT rc EQUAL 7 OR NOT out STREQUAL "win64 ${dir}/loader ${dir}/prefix test.exe --flag")
  message(SEND_ERROR "64-bit run: exit ${rc}, '${out}'")
endif()
file(WRITE "${dir}/wine-run.conf" "arch=none\nnote=stand-in reason\n")
execute_process(COMMAND env "VORN_WINEPREFIX=${dir}/prefix" "${runner}" --init
                RESULT_VARIABLE rc ERROR_VARIABLE err)
if(rc EQUAL 0 OR NOT err MATCHES "stand-in reason")
  message(SEND_ERROR "no usable side: exit ${rc}, '${err}'")
endif()
