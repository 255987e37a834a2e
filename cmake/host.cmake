# SPDX-License-Identifier: Zlib
# The assets of a cross build come from the native asset generators of tools/,
# which are build-host programs: BRAMBLE_HOST_BUILD names a native build tree of
# this source tree that builds them (its target bramble_assets writes game/asset
# and game/res; tools/music is run again for the browser's music). By default
# the one tree build-host/, which `make web` and `make windows` share; the test
# build passes itself.
#
# Gives the target bramble_host_assets and BRAMBLE_HOST_RUNTIME (the host's
# game/ folder) and BRAMBLE_HOST_TOOLS (its tools/ folder).
set(BRAMBLE_HOST_BUILD ${CMAKE_SOURCE_DIR}/build-host CACHE PATH
    "Native build tree whose asset generators make the cross build's assets")
set(BRAMBLE_HOST_RUNTIME ${BRAMBLE_HOST_BUILD}/game)
set(BRAMBLE_HOST_TOOLS ${BRAMBLE_HOST_BUILD}/tools)

# Two cross builds started together (make -j2 web windows) share the tree: a lock
# beside it lets one configure it while the other waits, and the build step below
# takes the same lock, so the two never build the same objects at once. A
# configure that failed is run again: its mark is taken away only once it ended well.
set(host_lock ${BRAMBLE_HOST_BUILD}/host.lock)
set(host_unfinished ${BRAMBLE_HOST_BUILD}/host-configure-unfinished)
file(MAKE_DIRECTORY ${BRAMBLE_HOST_BUILD})
file(LOCK ${host_lock} GUARD FILE TIMEOUT 3600 RESULT_VARIABLE lock_result)
if(NOT lock_result STREQUAL "0")
  message(FATAL_ERROR "could not lock ${host_lock}: ${lock_result}")
endif()
if(NOT EXISTS ${BRAMBLE_HOST_BUILD}/CMakeCache.txt OR EXISTS ${host_unfinished})
  file(TOUCH ${host_unfinished})
  message(STATUS "Configuring the native asset generators in ${BRAMBLE_HOST_BUILD}")
  # The cross compilers must not reach the native configure.
  execute_process(
    COMMAND ${CMAKE_COMMAND} -E env --unset=CC --unset=CXX --unset=CMAKE_TOOLCHAIN_FILE
            ${CMAKE_COMMAND} -S ${CMAKE_SOURCE_DIR} -B ${BRAMBLE_HOST_BUILD} -G ${CMAKE_GENERATOR}
            -DCMAKE_BUILD_TYPE=Release -DBRAMBLE_TESTS=OFF -DBRAMBLE_BENCH=OFF
            -DBRAMBLE_EXAMPLES=OFF
    RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "configuring the native asset build failed:\n${out}")
  endif()
  file(REMOVE ${host_unfinished})
endif()
file(LOCK ${host_lock} RELEASE)

# Under make the nested build is called as $(MAKE), which marks it as a recursive
# make: it takes its share of the outer build's jobs, where `cmake --build` would
# get no jobserver ("jobserver unavailable: using -j1") and run alone.
if(CMAKE_GENERATOR MATCHES "Makefiles" AND EXISTS ${BRAMBLE_HOST_BUILD}/Makefile)
  set(host_assets_command $(MAKE) -C ${BRAMBLE_HOST_BUILD} bramble_assets)
else()
  set(host_assets_command ${CMAKE_COMMAND} --build ${BRAMBLE_HOST_BUILD} --target bramble_assets)
endif()
add_custom_target(bramble_host_assets
  COMMAND flock ${host_lock} ${host_assets_command}
  COMMENT "Making the assets with the native generators (${BRAMBLE_HOST_BUILD})"
  VERBATIM)
