# SPDX-License-Identifier: Zlib
# Short fuzz runs in the test suite (label "fuzz"): a setup test builds the
# targets with clang into <build>/fuzz (fuzz/build.sh), then each target runs
# for BRAMBLE_FUZZ_SECONDS through fuzz/run.sh, starting from the committed seed
# corpus, and fails on any finding. Longer runs: fuzz/run.sh SECONDS [TARGET].
set(BRAMBLE_FUZZ_SECONDS 30 CACHE STRING "Seconds each fuzz target runs in the test suite")
set(fuzz_dir ${CMAKE_BINARY_DIR}/fuzz)

add_test(NAME fuzz_build COMMAND ${CMAKE_SOURCE_DIR}/fuzz/build.sh ${fuzz_dir})
set_tests_properties(fuzz_build PROPERTIES LABELS fuzz TIMEOUT 1200 FIXTURES_SETUP fuzz_built
                     RESOURCE_LOCK machine)

foreach(target world resource reload mic)
  add_test(NAME fuzz_${target}
           COMMAND ${CMAKE_COMMAND} -E env BRAMBLE_FUZZ_BUILD=${fuzz_dir} BRAMBLE_FUZZ_NO_BUILD=1
                   ${CMAKE_SOURCE_DIR}/fuzz/run.sh ${BRAMBLE_FUZZ_SECONDS} ${target})
  set_tests_properties(fuzz_${target} PROPERTIES LABELS fuzz TIMEOUT 600
                       FIXTURES_REQUIRED fuzz_built RESOURCE_LOCK machine)
endforeach()
