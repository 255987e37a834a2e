# SPDX-License-Identifier: Zlib
# What a release needs (label release): the SDL sources follow Debian's
# revisions. The portable Linux build's own tests are in the test file beside.
add_test(NAME release_debian_source_revision
         COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/debian_source.sh ${CMAKE_SOURCE_DIR})
set_tests_properties(release_debian_source_revision PROPERTIES LABELS release TIMEOUT 60)
