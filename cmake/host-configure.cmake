# SPDX-License-Identifier: Zlib
# Configures the native build tree of the asset generators for cmake/host.cmake,
# which runs this under the tree's lock. A configure that failed is run again:
# its mark is taken away only once it ended well.
#
#   cmake -DSOURCE=DIR -DBUILD=DIR -DGENERATOR=NAME -P cmake/host-configure.cmake
set(unfinished ${BUILD}/host-configure-unfinished)
if(EXISTS ${BUILD}/CMakeCache.txt AND NOT EXISTS ${unfinished})
  return()
endif()
file(TOUCH ${unfinished})
message(STATUS "Configuring the native asset generators in ${BUILD}")
# The cross compilers must not reach the native configure.
execute_process(
  COMMAND ${CMAKE_COMMAND} -E env --unset=CC --unset=CXX --unset=CMAKE_TOOLCHAIN_FILE
          ${CMAKE_COMMAND} -S ${SOURCE} -B ${BUILD} -G ${GENERATOR}
          -DCMAKE_BUILD_TYPE=Release -DBRAMBLE_TESTS=OFF -DBRAMBLE_BENCH=OFF
          -DBRAMBLE_EXAMPLES=OFF
  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "configuring the native asset build failed:\n${out}")
endif()
file(REMOVE ${unfinished})
