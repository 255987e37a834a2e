# SPDX-License-Identifier: Zlib
# Browser tests (label "web"): a setup test builds the web site into <build>/web
# (tests/web/setup.sh: SDL2 and SDL2_mixer for the browser from Debian's sources
# the first time, into the source tree's build-sdl/ that `make web` shares; the
# assets from this tree's native generators; the game) and
# installs the browsers' clients; then each scenario drives Debian's Chromium,
# headless, against the site on 127.0.0.1, and web_engines plays Firefox ESR and
# WebKitGTK side by side (tests/web/harness.js).
set(web_dir ${CMAKE_BINARY_DIR}/web)

# The browser build follows the test build's warnings rule.
add_test(NAME web_build
         COMMAND ${CMAKE_COMMAND} -E env BRAMBLE_WERROR=${BRAMBLE_WERROR}
                 ${CMAKE_SOURCE_DIR}/tests/web/setup.sh ${web_dir} ${CMAKE_BINARY_DIR})
set_tests_properties(web_build PROPERTIES LABELS web TIMEOUT 2400 FIXTURES_SETUP web_built
                     RESOURCE_LOCK machine)

foreach(name start bad_input full_run no_webgl phone site kept engines cut_cache harness)
  add_test(NAME web_${name}
           COMMAND ${CMAKE_COMMAND} -E env BRAMBLE_WEB_BUILD=${web_dir}
                   NODE_PATH=${web_dir}/npm/node_modules
                   node ${CMAKE_SOURCE_DIR}/tests/web/test_${name}.js)
  set(limit 300)
  if(name STREQUAL "full_run" OR name STREQUAL "engines")
    set(limit 450)
  endif()
  set_tests_properties(web_${name} PROPERTIES LABELS web TIMEOUT ${limit}
                       FIXTURES_REQUIRED web_built RESOURCE_LOCK machine)
endforeach()

# web/serve.js on a folder of its own: no build, no browser.
add_test(NAME web_serve COMMAND node ${CMAKE_SOURCE_DIR}/tests/web/test_serve.js)
set_tests_properties(web_serve PROPERTIES LABELS web TIMEOUT 60)

# cmake/web-site.cmake cut off and run again: no game build, no browser.
add_test(NAME web_site_forms COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/site_forms.sh ${CMAKE_SOURCE_DIR})
set_tests_properties(web_site_forms PROPERTIES LABELS web TIMEOUT 60)
