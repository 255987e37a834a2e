# SPDX-License-Identifier: Zlib
# The Windows build in the test suite (label "windows"): a setup test cross-builds
# the zip and the installer into <build>/windows with this tree's natively
# generated assets, unpacks the zip and makes a private Wine prefix
# (tests/windows/setup.sh); then the unpacked game is checked for imports, icon
# and version, and it and the installer are run under Wine on private X servers
# through the e2e harness (one at a time: they share the one prefix).
if(NOT TARGET e2e_harness)
  return()
endif()
set(windows_dir ${CMAKE_BINARY_DIR}/windows)
set(windows_game ${windows_dir}/unpacked/bramble-${PROJECT_VERSION}-windows-x64)
# The version before this one, for the upgrade: the last non-zero part one lower.
if(PROJECT_VERSION_PATCH GREATER 0)
  math(EXPR part "${PROJECT_VERSION_PATCH} - 1")
  set(older_version ${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${part})
elseif(PROJECT_VERSION_MINOR GREATER 0)
  math(EXPR part "${PROJECT_VERSION_MINOR} - 1")
  set(older_version ${PROJECT_VERSION_MAJOR}.${part}.0)
else()
  math(EXPR part "${PROJECT_VERSION_MAJOR} - 1")
  set(older_version ${part}.0.0)
endif()

add_test(NAME windows_build
         COMMAND ${CMAKE_COMMAND} -E env BRAMBLE_WERROR=${BRAMBLE_WERROR}
                 bash ${CMAKE_CURRENT_LIST_DIR}/setup.sh ${windows_dir} ${CMAKE_BINARY_DIR}
                 ${older_version})
set_tests_properties(windows_build PROPERTIES LABELS windows TIMEOUT 1800
                     FIXTURES_SETUP windows_built RESOURCE_LOCK machine)

add_test(NAME windows_self_contained
         COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/self_contained.sh ${windows_game} ${PROJECT_VERSION})
set_tests_properties(windows_self_contained PROPERTIES LABELS windows TIMEOUT 60
                     FIXTURES_REQUIRED windows_built)

add_executable(test_windows ${CMAKE_CURRENT_LIST_DIR}/test_windows.cpp)
target_link_libraries(test_windows PRIVATE e2e_harness GTest::gtest_main)
add_dependencies(test_windows bramble)
target_compile_definitions(test_windows PRIVATE BRAMBLE_WINDOWS_GAME="${windows_game}"
  BRAMBLE_WINDOWS_SETUP="${windows_dir}/bramble-${PROJECT_VERSION}-windows-x64-setup.exe"
  BRAMBLE_WINDOWS_OLDER_SETUP="${windows_dir}/older/bramble-${older_version}-windows-x64-setup.exe"
  BRAMBLE_VERSION="${PROJECT_VERSION}"
  BRAMBLE_WINEPREFIX="${windows_dir}/wineprefix" BRAMBLE_WINDOWS_PROBES="${windows_dir}/probes")
gtest_discover_tests(test_windows
  DISCOVERY_MODE PRE_TEST
  DISCOVERY_TIMEOUT 60
  PROPERTIES LABELS windows TIMEOUT 300 FIXTURES_REQUIRED windows_built
    RESOURCE_LOCK machine)
