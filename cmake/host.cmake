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
# takes the same lock, so the two never build the same objects at once. Both
# sides take it with flock(1): cmake's file(LOCK) is an fcntl lock, which on
# Linux neither waits for a flock(2) lock nor makes one wait.
set(host_lock ${BRAMBLE_HOST_BUILD}/host.lock)
file(MAKE_DIRECTORY ${BRAMBLE_HOST_BUILD})
execute_process(
  COMMAND flock -w 3600 ${host_lock}
          ${CMAKE_COMMAND} -DSOURCE=${CMAKE_SOURCE_DIR} -DBUILD=${BRAMBLE_HOST_BUILD}
          -DGENERATOR=${CMAKE_GENERATOR} -P ${CMAKE_CURRENT_LIST_DIR}/host-configure.cmake
  RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "the native asset build in ${BRAMBLE_HOST_BUILD} is not configured (${rc})")
endif()

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
