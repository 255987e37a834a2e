# Installation and the Debian package.
#
# The game reads its assets relative to its own directory, so the executable,
# asset/ and res/ go together into a directory of their own, <prefix>/lib/bramble.
# <prefix>/bin/bramble is a relative symbolic link to it: the engine resolves the
# link through /proc/self/exe and so still finds its real directory.
#
#   cmake --install build --prefix /tmp/b   # /tmp/b/bin/bramble, /tmp/b/lib/bramble/...
#   cmake --build build --target package    # build/bramble_<version>_<arch>.deb

include(GNUInstallDirs)

# A fixed "lib", not CMAKE_INSTALL_LIBDIR: on Debian that names the multiarch
# directory of shared libraries, which is no place for a program's own files.
set(BRAMBLE_INSTALL_APPDIR lib/bramble)

if(TARGET bramble)
  install(TARGETS bramble RUNTIME DESTINATION ${BRAMBLE_INSTALL_APPDIR})
  # Everything the build put beside the executable: generated sheet, keyboard
  # picture and music, the font's licence, the tile grid.
  install(DIRECTORY ${BRAMBLE_RUNTIME_DIR}/asset ${BRAMBLE_RUNTIME_DIR}/res
          DESTINATION ${BRAMBLE_INSTALL_APPDIR})

  # The launcher link is made once in the build tree and installed as a link
  # (file(INSTALL) copies links as links), which works the same for
  # `cmake --install --prefix` and for the package's staging directory.
  file(RELATIVE_PATH launcher_target ${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}
       ${CMAKE_INSTALL_PREFIX}/${BRAMBLE_INSTALL_APPDIR}/bramble)
  set(launcher ${CMAKE_BINARY_DIR}/packaging/bin/bramble)
  file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/packaging/bin)
  file(CREATE_LINK ${launcher_target} ${launcher} SYMBOLIC)
  install(FILES ${launcher} DESTINATION ${CMAKE_INSTALL_BINDIR})

  install(FILES ${CMAKE_SOURCE_DIR}/packaging/bramble.desktop
          DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${CMAKE_SOURCE_DIR}/packaging/bramble.svg
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
  install(FILES ${CMAKE_SOURCE_DIR}/packaging/bramble-64.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/64x64/apps
          RENAME bramble.png)
  install(FILES ${CMAKE_SOURCE_DIR}/packaging/copyright
                ${CMAKE_SOURCE_DIR}/asset/atarifont.LICENSE.txt
          DESTINATION ${CMAKE_INSTALL_DOCDIR})
endif()

# ---------------------------------------------------------------------------
# CPack: a .deb of what is installed above (package it from the release build,
# `make package`, never from the sanitized test build).
# ---------------------------------------------------------------------------
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME bramble)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "reflex party game played with mouse, keyboard and microphone")
set(CPACK_PACKAGE_DESCRIPTION
    "Click the growing start word, the music starts, and for 145 seconds tiny\n\
challenges follow each other on random colours: stay silent, shout into the\n\
microphone, click fast, press E fast, touch nothing, keep the pointer in a\n\
drifting rectangle, press the right key on a shifted keyboard.\n\
A microphone is needed to play.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION games)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "bramble maintainers <bramble@example.org>")
# Library dependencies come from the executable itself, through dpkg-shlibdeps
# (package dpkg-dev, part of build-essential).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
include(CPack)

# ---------------------------------------------------------------------------
# Test: install into a temporary prefix and start the installed game once.
# ---------------------------------------------------------------------------
if(BRAMBLE_TESTS AND TARGET bramble)
  # Mesa's software GL driver, preloaded by the test under the sanitizers.
  find_file(BRAMBLE_GL_DRIVER swrast_dri.so
    PATHS /usr/lib/${CMAKE_LIBRARY_ARCHITECTURE}/dri /usr/lib64/dri /usr/lib/dri
    NO_DEFAULT_PATH)
  if(NOT BRAMBLE_GL_DRIVER)
    set(BRAMBLE_GL_DRIVER "")
  endif()
  add_test(NAME install_and_start
           COMMAND bash ${CMAKE_SOURCE_DIR}/tests/install/installed_game.sh ${CMAKE_COMMAND}
                   ${CMAKE_BINARY_DIR} ${CMAKE_SOURCE_DIR} "${BRAMBLE_GL_DRIVER}")
  set_tests_properties(install_and_start PROPERTIES LABELS install TIMEOUT 300)
endif()
