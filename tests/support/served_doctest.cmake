# vorn_add_served_doctest(name SOURCES ... [LIBS ...] [ROUTES file.json] [TLS] [PROXY user:password])
#
# A Qt-free test that talks to the scripted loopback servers of vorn_serve. Natively it is
# registered as <name> and, with the Windows cross-build, as win32.<name>: both run under
# vorn_serve, which starts the servers (and tinyproxy), passes their ports in the
# environment and stops them afterwards. TLS is only offered to the native run, since the
# Windows certificate store under Wine does not know the throw-away authority.
function(vorn_add_served_doctest name)
  cmake_parse_arguments(ARG "TLS" "ROUTES;PROXY" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  set_target_properties(${name} PROPERTIES AUTOMOC OFF AUTORCC OFF)
  target_link_libraries(${name} PRIVATE vorn_doctest_main ${ARG_LIBS})
  if(CMAKE_CROSSCOMPILING OR VORN_QT_FREE_ONLY)
    return()
  endif()
  set(serve $<TARGET_FILE:vorn_serve>)
  if(ARG_ROUTES)
    list(APPEND serve --routes "${ARG_ROUTES}")
  endif()
  if(ARG_PROXY)
    list(APPEND serve --proxy "${ARG_PROXY}")
  endif()
  set(native_serve ${serve})
  if(ARG_TLS)
    list(APPEND native_serve --tls)
  endif()
  add_test(NAME ${name} COMMAND ${native_serve} -- $<TARGET_FILE:${name}>)
  set_tests_properties(${name} PROPERTIES TIMEOUT 300)
  vorn_add_wine_test(${name} PROGRAM ${name} LAUNCHER ${serve} --)
endfunction()
