# Configures and builds the fuzz targets with clang: cmake -DSOURCE_DIR=.. -DBINARY_DIR=..
# -DCXX=clang++ -P build-fuzzers.cmake
execute_process(
  COMMAND ${CMAKE_COMMAND} -S ${SOURCE_DIR} -B ${BINARY_DIR} -G Ninja
          -DCMAKE_CXX_COMPILER=${CXX} -DCMAKE_BUILD_TYPE=RelWithDebInfo
  RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "configuring the fuzz targets failed")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} --build ${BINARY_DIR} -j2 RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "building the fuzz targets failed")
endif()
