# SPDX-License-Identifier: Zlib
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
# The engine as a library for other programs: component `vek`, installed only
# when asked for by name, so that neither a plain install nor the game's Debian
# package carries it:
#
#   cmake --install build --component vek --prefix ~/.local
#
# lib/libvek.a, include/vek/VEK.h and _.h, a CMake package (find_package(VEK)
# gives VEK::vek) and vek.pc for pkg-config.
# ---------------------------------------------------------------------------
include(CMakePackageConfigHelpers)

# VEK.h states the engine's version for the programs built on it: it must be
# the project's.
file(STRINGS ${CMAKE_SOURCE_DIR}/engine/VEK.h vek_version_lines
     REGEX "^#define VEK_VERSION_(MAJOR|MINOR|PATCH) ")
set(vek_header_version "")
foreach(part MAJOR MINOR PATCH)
  set(value "")
  foreach(line ${vek_version_lines})
    if(line MATCHES "^#define VEK_VERSION_${part} +([0-9]+)")
      set(value ${CMAKE_MATCH_1})
    endif()
  endforeach()
  list(APPEND vek_header_version "${value}")
endforeach()
list(JOIN vek_header_version "." vek_header_version)
if(NOT vek_header_version STREQUAL PROJECT_VERSION)
  message(FATAL_ERROR "engine/VEK.h says version ${vek_header_version}, the project is "
                      "${PROJECT_VERSION}: update VEK_VERSION_MAJOR/MINOR/PATCH")
endif()

set(VEK_INSTALL_CMAKEDIR ${CMAKE_INSTALL_LIBDIR}/cmake/VEK)
install(TARGETS vek EXPORT VEKTargets
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT vek EXCLUDE_FROM_ALL
        INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/vek)
install(FILES ${CMAKE_SOURCE_DIR}/engine/VEK.h ${CMAKE_SOURCE_DIR}/engine/_.h
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/vek COMPONENT vek EXCLUDE_FROM_ALL)
install(EXPORT VEKTargets NAMESPACE VEK:: DESTINATION ${VEK_INSTALL_CMAKEDIR}
        COMPONENT vek EXCLUDE_FROM_ALL)
configure_package_config_file(${CMAKE_SOURCE_DIR}/cmake/VEKConfig.cmake.in
  ${CMAKE_BINARY_DIR}/packaging/VEKConfig.cmake INSTALL_DESTINATION ${VEK_INSTALL_CMAKEDIR})
# 0.x: a minor version may change the interface.
write_basic_package_version_file(${CMAKE_BINARY_DIR}/packaging/VEKConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMinorVersion)
install(FILES ${CMAKE_BINARY_DIR}/packaging/VEKConfig.cmake
              ${CMAKE_BINARY_DIR}/packaging/VEKConfigVersion.cmake
        DESTINATION ${VEK_INSTALL_CMAKEDIR} COMPONENT vek EXCLUDE_FROM_ALL)

# vek.pc finds the prefix from its own place (pkg-config's ${pcfiledir}), so the
# installed tree can be moved or staged.
file(RELATIVE_PATH VEK_PC_TO_PREFIX /prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /prefix)
string(REGEX REPLACE "/$" "" VEK_PC_TO_PREFIX "${VEK_PC_TO_PREFIX}")
configure_file(${CMAKE_SOURCE_DIR}/cmake/vek.pc.in ${CMAKE_BINARY_DIR}/packaging/vek.pc @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/packaging/vek.pc
        DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT vek EXCLUDE_FROM_ALL)

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
# The package names the project as its maintainer; whoever builds and distributes
# it sets their own name and address here.
set(BRAMBLE_PACKAGE_MAINTAINER "the bramble developers" CACHE STRING
    "Maintainer field of the Debian package: \"Name <address>\" of whoever distributes it")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${BRAMBLE_PACKAGE_MAINTAINER}")
# Library dependencies come from the executable itself, through dpkg-shlibdeps
# (package dpkg-dev, part of build-essential).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_SOURCE_DIR}/cmake/staged-files.cmake)
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

# Test: install the engine's component and build examples/hello.cpp against it.
if(BRAMBLE_TESTS)
  get_directory_property(vek_link_flags LINK_OPTIONS)
  list(JOIN vek_link_flags " " vek_link_flags)
  add_test(NAME engine_package
           COMMAND bash ${CMAKE_SOURCE_DIR}/tests/install/engine_package.sh ${CMAKE_COMMAND}
                   ${CMAKE_BINARY_DIR} ${CMAKE_SOURCE_DIR} ${CMAKE_CXX_COMPILER} "${vek_link_flags}")
  set_tests_properties(engine_package PROPERTIES LABELS install TIMEOUT 300)
endif()
