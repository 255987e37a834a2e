# SPDX-License-Identifier: Zlib
# What a release needs (label release): the SDL sources follow Debian's
# revisions; the release script leaves the rest of its folder alone and packs
# the same bytes from any folder; the cross builds' shared native tree is
# locked against both of its users; the portable Linux build, built and unpacked
# by a set-up test (tests/release/portable_setup.sh), needs only glibc and says
# its version, and starts from a folder with a non-ASCII name under Xvfb.
add_test(NAME release_debian_source_revision
         COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/debian_source.sh ${CMAKE_SOURCE_DIR})
add_test(NAME release_dist_folder
         COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/release_dist.sh ${CMAKE_SOURCE_DIR})
add_test(NAME release_pack_modes
         COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/pack_modes.sh ${CMAKE_SOURCE_DIR})
add_test(NAME release_host_lock
         COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/host_lock.sh ${CMAKE_SOURCE_DIR})
set_tests_properties(release_debian_source_revision release_dist_folder release_pack_modes
                     release_host_lock PROPERTIES LABELS release TIMEOUT 60)

if(NOT TARGET e2e_harness)
  return()
endif()
set(portable_dir ${CMAKE_BINARY_DIR}/portable)
set(portable_game ${portable_dir}/unpacked/bramble-${PROJECT_VERSION}-linux-x86_64)

add_test(NAME portable_build
         COMMAND ${CMAKE_COMMAND} -E env BRAMBLE_WERROR=${BRAMBLE_WERROR}
                 bash ${CMAKE_CURRENT_LIST_DIR}/portable_setup.sh ${portable_dir})
set_tests_properties(portable_build PROPERTIES LABELS release TIMEOUT 1800
                     FIXTURES_SETUP portable_built RESOURCE_LOCK machine)

add_test(NAME portable_contents
         COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/portable_contents.sh ${portable_game}
                 ${PROJECT_VERSION})
set_tests_properties(portable_contents PROPERTIES LABELS release TIMEOUT 60
                     FIXTURES_REQUIRED portable_built)

add_executable(test_portable ${CMAKE_CURRENT_LIST_DIR}/test_portable.cpp)
target_link_libraries(test_portable PRIVATE e2e_harness GTest::gtest_main)
target_compile_definitions(test_portable PRIVATE BRAMBLE_PORTABLE_GAME="${portable_game}")
gtest_discover_tests(test_portable
  DISCOVERY_MODE PRE_TEST
  DISCOVERY_TIMEOUT 60
  PROPERTIES LABELS release TIMEOUT 300 FIXTURES_REQUIRED portable_built
    RESOURCE_LOCK machine)
